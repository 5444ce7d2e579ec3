#include "panes/PreviewTiling.h"

#include <algorithm>

namespace {

// The grid cells [first, last) of size `cell` starting at `origin` that touch [0, extent), out of `count`.
std::pair<int64_t, int64_t> VisibleRange(int64_t origin, int64_t cell, int64_t count, int64_t extent) {
    // Cell k covers [origin + k·cell, origin + (k+1)·cell); it touches the view when its right edge is
    // past 0 and its left edge before the extent.
    int64_t first = origin >= 0 ? 0 : (-origin) / cell;
    int64_t last = origin >= extent ? 0 : (extent - origin + cell - 1) / cell;
    first = std::clamp<int64_t>(first, 0, count);
    last = std::clamp<int64_t>(last, first, count);
    return {first, last};
}

}  // namespace

CPreviewTiling::CPreviewTiling(int pictureWidth, int pictureHeight, int viewWidth, int viewHeight, int xCopies,
                               int yCopies)
    : m_viewWidth(viewWidth),
      m_viewHeight(viewHeight),
      m_columns(xCopies),
      m_rows(yCopies),
      // The centred full-size position; C++ division rounds towards zero as the tiles' origin needs.
      m_originX((int64_t{viewWidth} - pictureWidth) / 2),
      m_originY((int64_t{viewHeight} - pictureHeight) / 2) {
    if (xCopies < 1 || yCopies < 1) return;
    const int64_t larger = std::max(xCopies, yCopies);
    m_tileWidth = pictureWidth / larger;
    m_tileHeight = pictureHeight / larger;
}

CPreviewTiling::Rect CPreviewTiling::Tile(int column, int row) const {
    return {m_originX + column * m_tileWidth, m_originY + row * m_tileHeight, m_tileWidth, m_tileHeight};
}

std::vector<CPreviewTiling::Rect> CPreviewTiling::VisibleTiles() const {
    std::vector<Rect> tiles;
    if (IsEmpty()) return tiles;
    const auto [firstColumn, endColumn] = VisibleRange(m_originX, m_tileWidth, m_columns, m_viewWidth);
    const auto [firstRow, endRow] = VisibleRange(m_originY, m_tileHeight, m_rows, m_viewHeight);
    tiles.reserve(static_cast<size_t>((endColumn - firstColumn) * (endRow - firstRow)));
    for (int64_t i = firstRow; i < endRow; ++i)
        for (int64_t j = firstColumn; j < endColumn; ++j)
            tiles.push_back(Tile(static_cast<int>(j), static_cast<int>(i)));
    return tiles;
}

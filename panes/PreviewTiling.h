#pragma once

#include <cstdint>
#include <vector>

// Where the preview view draws its tiles: X copies × Y copies scaled copies of the picture, each
// 1/max(X, Y) of its size, side by side without gaps, the block starting at the top-left corner of
// where the full-size picture would stand centred in the view. Plain arithmetic, no drawing.
class CPreviewTiling {
public:
    struct Rect {
        int64_t x, y, width, height;
        bool operator==(const Rect&) const = default;
    };

    CPreviewTiling(int pictureWidth, int pictureHeight, int viewWidth, int viewHeight, int xCopies, int yCopies);

    // Both copy counts at least 1 and tiles at least a pixel a side; otherwise nothing is drawn.
    bool IsEmpty() const { return m_tileWidth <= 0 || m_tileHeight <= 0 || m_columns <= 0 || m_rows <= 0; }
    int64_t TileWidth() const { return m_tileWidth; }
    int64_t TileHeight() const { return m_tileHeight; }
    int64_t OriginX() const { return m_originX; }
    int64_t OriginY() const { return m_originY; }

    // Column j, row i of the grid (0-based), whether it is on screen or not.
    Rect Tile(int column, int row) const;
    // The tiles that touch the view, row by row: a huge copy count costs no more than what can be seen.
    std::vector<Rect> VisibleTiles() const;

private:
    int64_t m_viewWidth, m_viewHeight;
    int64_t m_columns, m_rows;
    int64_t m_tileWidth = 0, m_tileHeight = 0;
    int64_t m_originX, m_originY;
};

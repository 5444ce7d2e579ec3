#include "panes/PropertyGrid.h"

#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <climits>

namespace {

constexpr int kNameColumn = 0;
constexpr int kValueColumn = 1;

std::optional<int32_t> ParseValue(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace

CPropertyGrid::CPropertyGrid(QWidget* parent)
    : QWidget(parent), m_table(new QTableWidget(0, 2, this)), m_description(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::ResizeToContents);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_table->setAlternatingRowColors(true);
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_description->setMinimumHeight(m_description->fontMetrics().lineSpacing() * 3);
    m_description->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_description);
    connect(m_table, &QTableWidget::itemChanged, this, &CPropertyGrid::OnItemChanged);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CPropertyGrid::ShowDescription);
}

int CPropertyGrid::AddProperty(const QString& name, const QString& description, int32_t value, bool editable) {
    const int row = m_table->rowCount();
    m_updating = true;
    m_table->insertRow(row);
    auto* nameItem = new QTableWidgetItem(name);
    nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    auto* valueItem = new QTableWidgetItem(QString::number(value));
    valueItem->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                 : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (!editable) valueItem->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    m_table->setItem(row, kNameColumn, nameItem);
    m_table->setItem(row, kValueColumn, valueItem);
    m_updating = false;
    m_values.push_back(value);
    m_descriptions.push_back(description);
    return row;
}

int CPropertyGrid::RowCount() const { return m_table->rowCount(); }
QString CPropertyGrid::Name(int row) const { return m_table->item(row, kNameColumn)->text(); }
QString CPropertyGrid::Description(int row) const { return m_descriptions.at(static_cast<size_t>(row)); }
bool CPropertyGrid::IsEditable(int row) const {
    return (m_table->item(row, kValueColumn)->flags() & Qt::ItemIsEditable) != 0;
}
int32_t CPropertyGrid::Value(int row) const { return m_values.at(static_cast<size_t>(row)); }

void CPropertyGrid::SetName(int row, const QString& name) {
    m_updating = true;
    m_table->item(row, kNameColumn)->setText(name);
    m_updating = false;
    ShowDescription();
}

void CPropertyGrid::SetValue(int row, int32_t value) {
    m_values.at(static_cast<size_t>(row)) = value;
    m_updating = true;
    m_table->item(row, kValueColumn)->setText(QString::number(value));
    m_updating = false;
}

void CPropertyGrid::EditValue(int row, const QString& text) { m_table->item(row, kValueColumn)->setText(text); }

void CPropertyGrid::SelectRow(int row) { m_table->selectRow(row); }

QString CPropertyGrid::DescriptionText() const { return m_description->text(); }

void CPropertyGrid::OnItemChanged(QTableWidgetItem* item) {
    if (m_updating || item->column() != kValueColumn) return;
    const int row = item->row();
    const auto value = ParseValue(item->text());
    if (!value) {
        Refuse(row, tr("“%1” is not a whole number.").arg(item->text().trimmed()));
        return;
    }
    if (m_validator) {
        if (auto refusal = m_validator(row, *value)) {
            Refuse(row, *refusal);
            return;
        }
    }
    const bool changed = *value != Value(row);
    SetValue(row, *value);  // also normalises the text, e.g. " 03" to "3"
    if (changed) emit PropertyChanged(row, *value);
}

void CPropertyGrid::Refuse(int row, const QString& message) {
    SetValue(row, Value(row));
    emit ValueRefused(row, message);
    // Not modal: the printing threads go on, and the operator reads and closes it when convenient.
    auto* box = new QMessageBox(QMessageBox::Warning, Name(row), message, QMessageBox::Ok, this);
    box->setObjectName("PropertyRefusal");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void CPropertyGrid::ShowDescription() {
    const auto rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        m_description->clear();
        return;
    }
    const int row = rows.first().row();
    m_description->setText(QStringLiteral("<b>%1</b><br>%2").arg(Name(row).toHtmlEscaped(),
                                                                  Description(row).toHtmlEscaped()));
}

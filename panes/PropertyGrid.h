#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QTableWidget;
class QTableWidgetItem;

// A small property grid: one row per property (name, integer value), and below the rows a description
// area with the name and description of the selected row. Editable rows take any whole number the
// operator types; a validator may refuse it with a message, and the previous value then stays.
class CPropertyGrid : public QWidget {
    Q_OBJECT
public:
    // The refusal text for a value the operator typed, or nothing to accept it.
    using Validator = std::function<std::optional<QString>(int row, int32_t value)>;

    explicit CPropertyGrid(QWidget* parent = nullptr);

    int AddProperty(const QString& name, const QString& description, int32_t value, bool editable);
    int RowCount() const;
    QString Name(int row) const;
    QString Description(int row) const;
    bool IsEditable(int row) const;
    int32_t Value(int row) const;
    void SetName(int row, const QString& name);
    // Changes the value without telling anyone: the program's own change, not the operator's.
    void SetValue(int row, int32_t value);
    void SetValidator(Validator validator) { m_validator = std::move(validator); }
    // As the operator typing text into the row's value cell and confirming it.
    void EditValue(int row, const QString& text);
    void SelectRow(int row);
    QString DescriptionText() const;
    QTableWidget* Table() const { return m_table; }

signals:
    // The operator changed a row's value (after the validator accepted it).
    void PropertyChanged(int row, int32_t value);
    // A value the operator typed was refused, with the text shown to the operator.
    void ValueRefused(int row, const QString& message);

private:
    void OnItemChanged(QTableWidgetItem* item);
    void ShowDescription();
    void Refuse(int row, const QString& message);

    QTableWidget* m_table;
    QLabel* m_description;
    std::vector<int32_t> m_values;
    std::vector<QString> m_descriptions;
    Validator m_validator;
    bool m_updating = false;
};

#pragma once
// The album list: a report list with a check box per row and eight columns (select, number,
// album name, cover, picture count, album key, album question, album password). Rows and
// columns count from 0.

#include <QTreeWidget>

namespace ovx {

class ReportList : public QTreeWidget {
    Q_OBJECT

  public:
    static constexpr int kColumnCount = 8;
    // Column titles and their design widths.
    static QStringList ColumnTitles();
    static int DesignWidth(int column);

    explicit ReportList(QWidget* parent = nullptr);

    void DeleteAllRows();
    // Appends an empty, unchecked row; returns its index.
    int AddRow();
    int RowCount() const;

    void SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;
    // Shows `picture` in the cell, at the list's image size of 100 x 100 pixels.
    void SetCellImage(int row, int column, const QPixmap& picture);
    bool HasCellImage(int row, int column) const;

    void SetChecked(int row, bool checked);
    bool IsChecked(int row) const;

    void SetColumnWidth(int column, int width);
    int ColumnWidth(int column) const;

    // Makes the row the selected and current row.
    void SelectRow(int row);

  signals:
    // The user toggled a row's check box (mouse or space key); not raised for SetChecked.
    void rowCheckToggled(int row, bool checked);

  private:
    void OnItemChanged(QTreeWidgetItem* item, int column);
    QTreeWidgetItem* Row(int row) const;

    bool settingProgrammatically_ = false;
};

}  // namespace ovx

#include "app/ReportList.h"

#include <QHeaderView>

namespace ovx {

namespace {
constexpr int kDesignWidths[ReportList::kColumnCount] = {60, 40, 120, 100, 70, 80, 80, 80};
constexpr int kImageSide = 100;
}  // namespace

QStringList ReportList::ColumnTitles() {
    return {QStringLiteral("选择"),     QStringLiteral("序号"),     QStringLiteral("相册名称"),
            QStringLiteral("封面"),     QStringLiteral("图片数量"), QStringLiteral("相册ID"),
            QStringLiteral("相册问题"), QStringLiteral("相册密码")};
}

int ReportList::DesignWidth(int column) {
    return column >= 0 && column < kColumnCount ? kDesignWidths[column] : 0;
}

ReportList::ReportList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(kColumnCount);
    setHeaderLabels(ColumnTitles());
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    header()->setSectionsMovable(false);
    for (int c = 0; c < kColumnCount; ++c) header()->resizeSection(c, kDesignWidths[c]);
    connect(this, &QTreeWidget::itemChanged, this, &ReportList::OnItemChanged);
}

QTreeWidgetItem* ReportList::Row(int row) const {
    return row >= 0 && row < topLevelItemCount() ? topLevelItem(row) : nullptr;
}

void ReportList::DeleteAllRows() {
    clear();
}

int ReportList::AddRow() {
    auto* item = new QTreeWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    settingProgrammatically_ = true;
    item->setCheckState(0, Qt::Unchecked);
    addTopLevelItem(item);
    settingProgrammatically_ = false;
    return topLevelItemCount() - 1;
}

int ReportList::RowCount() const {
    return topLevelItemCount();
}

void ReportList::SetCellText(int row, int column, const QString& text) {
    if (auto* item = Row(row); item && column >= 0 && column < kColumnCount) {
        settingProgrammatically_ = true;
        item->setText(column, text);
        settingProgrammatically_ = false;
    }
}

QString ReportList::CellText(int row, int column) const {
    auto* item = Row(row);
    return item && column >= 0 && column < kColumnCount ? item->text(column) : QString();
}

void ReportList::SetCellImage(int row, int column, const QPixmap& picture) {
    auto* item = Row(row);
    if (!item || column < 0 || column >= kColumnCount) return;
    setIconSize(QSize(kImageSide, kImageSide));
    settingProgrammatically_ = true;
    item->setIcon(column, QIcon(picture.scaled(kImageSide, kImageSide)));
    settingProgrammatically_ = false;
}

bool ReportList::HasCellImage(int row, int column) const {
    auto* item = Row(row);
    return item && !item->icon(column).isNull();
}

void ReportList::SetChecked(int row, bool checked) {
    if (auto* item = Row(row)) {
        settingProgrammatically_ = true;
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
        settingProgrammatically_ = false;
    }
}

bool ReportList::IsChecked(int row) const {
    auto* item = Row(row);
    return item && item->checkState(0) == Qt::Checked;
}

void ReportList::SetColumnWidth(int column, int width) {
    if (column >= 0 && column < kColumnCount && width >= 0) header()->resizeSection(column, width);
}

int ReportList::ColumnWidth(int column) const {
    return header()->sectionSize(column);
}

void ReportList::SelectRow(int row) {
    if (auto* item = Row(row)) {
        setCurrentItem(item);
        item->setSelected(true);
    }
}

void ReportList::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (settingProgrammatically_ || column != 0 || !item) return;
    const int row = indexOfTopLevelItem(item);
    if (row < 0) return;
    const bool checked = item->checkState(0) == Qt::Checked;
    // The row the user just ticked becomes the selected one.
    SelectRow(row);
    emit rowCheckToggled(row, checked);
}

}  // namespace ovx

#include "app/AlbumsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/LinkLabel.h"
#include "app/Placement.h"
#include "app/ReportList.h"

namespace ovx {
namespace {

QPushButton* Button(QWidget* container, const char* name, const QRect& place, const QString& text) {
    auto* button = Place<QPushButton>(container, name, place);
    button->setText(text);
    return button;
}

QLabel* Label(QWidget* container, const char* name, const QRect& place, const QString& text = {}) {
    auto* label = Place<QLabel>(container, name, place);
    label->setText(text);
    return label;
}

}  // namespace

QString AlbumsPage::Caption() {
    return QStringLiteral("    第二步：获取相册   ");
}

AlbumsPage::AlbumsPage(QWidget* parent) : QWidget(parent) {
    BuildHomeGroup();
    BuildLocationGroup();
    BuildListGroup();
}

void AlbumsPage::BuildHomeGroup() {
    homeGroup_ = Place<QGroupBox>(this, "分组框_zhuye", {8, 44, 902, 59});
    helpLabel_ = Place<LinkLabel>(homeGroup_, "标签1", {9, 23, 107, 24});
    helpLabel_->setText(QStringLiteral("1:用户主页(不懂?)："));
    userEdit_ = Place<QLineEdit>(homeGroup_, "编辑框_号码", {124, 18, 384, 32});
    getAlbums_ =
        Button(homeGroup_, "按钮_获取相册封面", {519, 16, 91, 32}, QStringLiteral("2：获取相册"));
    download_ =
        Button(homeGroup_, "按钮_下载选中", {640, 16, 85, 32}, QStringLiteral("3：下载选中"));
    pause_ = Button(homeGroup_, "按钮_暂停线程", {694, 16, 67, 32}, QStringLiteral("暂停下载"));
    continue_ = Button(homeGroup_, "按钮_继续下载", {754, 16, 67, 32}, QStringLiteral("继续下载"));
    end_ = Button(homeGroup_, "按钮_结束下载", {828, 16, 64, 32}, QStringLiteral("结束下载"));
    pause_->hide();
    continue_->hide();
    end_->hide();
}

void AlbumsPage::BuildLocationGroup() {
    locationGroup_ = Place<QGroupBox>(this, "分组框_weizhi", {8, 104, 902, 50});
    Label(locationGroup_, "标签_保存路径", {32, 12, 76, 32}, QStringLiteral("保存位置："));
    saveEdit_ = Place<QLineEdit>(locationGroup_, "编辑框_保存位置", {124, 12, 440, 27});
    chooseFolder_ =
        Button(locationGroup_, "按钮_选择位置", {580, 12, 91, 32}, QStringLiteral("选择存放位置"));
    openFolder_ =
        Button(locationGroup_, "按钮_打开目录", {693, 12, 79, 32}, QStringLiteral("打开目录"));
}

void AlbumsPage::BuildListGroup() {
    listGroup_ = Place<QGroupBox>(this, "分组框_liebiao", {8, 164, 902, 426});
    selectAll_ = Place<QCheckBox>(listGroup_, "选择框_全选", {16, 22, 46, 16});
    selectAll_->setText(QStringLiteral("全选"));
    invert_ = Place<QCheckBox>(listGroup_, "选择框_反选", {76, 22, 46, 16});
    invert_->setText(QStringLiteral("反选"));
    covers_ = Place<QCheckBox>(listGroup_, "选择框_有图", {142, 21, 134, 16});
    covers_->setText(QStringLiteral("有封面图(影响速度)"));
    covers_->setChecked(false);
    userLabel_ = Label(listGroup_, "标签_用户", {294, 12, 246, 24});
    statusLabel_ = Label(listGroup_, "标签_动态", {559, 12, 227, 24});

    albums_ = Place<ReportList>(listGroup_, "超级列表框1", {6, 41, 638, 339});

    // The covers are scaled without a drawing board; the board stays hidden.
    auto* board = Place<QLabel>(listGroup_, "画板1", {455, 107, 112, 88});
    board->hide();

    logGroup_ = Place<QGroupBox>(listGroup_, "分组框_日志", {656, 36, 236, 345});
    Label(logGroup_, "标签3", {8, 12, 88, 19}, QStringLiteral("执行操作日志："));
    log_ = Place<QPlainTextEdit>(logGroup_, "编辑框_操作记录", {12, 45, 208, 292});
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setReadOnly(true);

    Label(listGroup_, "标签_进度", {7, 384, 56, 35}, QStringLiteral("下载进度："));
    progress_ = Place<QProgressBar>(listGroup_, "进度条1", {74, 389, 280, 24});
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    percent_ = Label(listGroup_, "标签_进度条比例", {359, 390, 41, 23});
    albumCount_ = Label(listGroup_, "标签_选择了相册数量", {404, 390, 144, 23});
    currentAlbum_ = Label(listGroup_, "标签_正在下载相册", {554, 390, 110, 23});
    photoCount_ = Label(listGroup_, "标签_第多少张照片", {666, 390, 95, 23});

    connect(selectAll_, &QCheckBox::clicked, this, &AlbumsPage::OnSelectAllClicked);
    connect(invert_, &QCheckBox::clicked, this, &AlbumsPage::OnInvertClicked);
}

void AlbumsPage::OnSelectAllClicked(bool checked) {
    if (!checked) return;
    invert_->setChecked(false);
    for (int row = 0; row < albums_->RowCount(); ++row) albums_->SetChecked(row, true);
}

void AlbumsPage::OnInvertClicked(bool checked) {
    if (!checked) return;
    selectAll_->setChecked(false);
    for (int row = 0; row < albums_->RowCount(); ++row)
        albums_->SetChecked(row, !albums_->IsChecked(row));
}

}  // namespace ovx

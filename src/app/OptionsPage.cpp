#include "app/OptionsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/Placement.h"
#include "catalogue/Protocols.h"

namespace ovx {
namespace {

QLabel* Label(QWidget* container, const char* name, const QRect& place, const QString& text) {
    auto* label = Place<QLabel>(container, name, place);
    label->setText(text);
    return label;
}

QDateEdit* DateBox(QWidget* container, const char* name, const QRect& place, QDate date) {
    auto* box = Place<QDateEdit>(container, name, place);
    box->setCalendarPopup(true);
    box->setDisplayFormat(QStringLiteral("yyyy年M月d日"));
    box->setDate(date);
    return box;
}

}  // namespace

QString OptionsPage::Caption() {
    return QStringLiteral("  软件设置  ");
}

OptionsPage::OptionsPage(QWidget* parent) : QWidget(parent) {
    auto* frame = Place<QGroupBox>(this, "分组框7", {16, 40, 1036, 553});
    BuildCommonGroup(frame);
    BuildNamingGroup(frame);
    BuildAlbumGroup(frame);
    BuildSoundGroup(frame);
    BuildNetworkGroup(frame);
}

void OptionsPage::BuildCommonGroup(QWidget* frame) {
    auto* group = Place<QGroupBox>(frame, "分组框2", {20, 15, 320, 298});
    group->setTitle(QStringLiteral("常用设置："));
    downloadRecord_ = Place<QCheckBox>(group, "选择框_下载记录", {24, 58, 240, 20});
    downloadRecord_->setText(QStringLiteral("开启下载记录（已经下载过的不再下载）"));
    timeRange_ = Place<QCheckBox>(group, "选择框_时间段", {24, 97, 240, 16});
    timeRange_->setText(QStringLiteral("开启后，只采集下面时间段上传的图片"));

    Label(group, "标签2", {40, 128, 56, 32}, QStringLiteral("开始时间："));
    startDate_ = DateBox(group, "日期框_开始时间", {112, 132, 144, 24}, QDate(2006, 3, 30));
    Label(group, "标签4", {40, 167, 56, 32}, QStringLiteral("结束时间："));
    endDate_ = DateBox(group, "日期框_结束时间", {112, 171, 144, 24}, QDate(2025, 12, 30));
    endDate_->setDateRange(QDate(2006, 12, 30), QDate(2037, 12, 30));

    auto* note = Label(group, "标签8", {16, 201, 288, 32},
                       QStringLiteral("温馨提示：有的微博相册里写的图片总数是不准确的。"));
    note->setWordWrap(true);
    livePhotos_ = Place<QCheckBox>(group, "选择框_实况照片", {24, 240, 280, 20});
    livePhotos_->setText(QStringLiteral("实况照片同时下载视频"));
    livePhotos_->setChecked(true);
    // With the records on, a rerun ends an album where the last run's photos begin.
    Label(group, "标签_遇到已下载即停止1", {24, 266, 56, 24}, QStringLiteral("遇到连续"));
    stopAtRecorded_ = Place<QSpinBox>(group, "编辑框_遇到已下载即停止", {80, 266, 64, 24});
    stopAtRecorded_->setRange(0, 9999);
    stopAtRecorded_->setToolTip(QStringLiteral("0：不停止，整个相册都看一遍"));
    Label(group, "标签_遇到已下载即停止2", {150, 266, 160, 24},
          QStringLiteral("张已下载的照片即停止"));

    // The line edit inside the date box takes the mouse; watch both.
    startDate_->installEventFilter(this);
    for (auto* child : startDate_->findChildren<QWidget*>()) child->installEventFilter(this);
}

void OptionsPage::BuildNamingGroup(QWidget* frame) {
    auto* naming = Place<QGroupBox>(frame, "分组框_文件设置", {356, 15, 264, 298});
    naming->setTitle(QStringLiteral("下载图片命名格式："));
    numberCaption_ = Place<QRadioButton>(naming, "单选框_序号加内容", {13, 147, 163, 13});
    numberCaption_->setText(QStringLiteral("下载序号+微博内容(默认)"));
    captionNumber_ = Place<QRadioButton>(naming, "单选框_内容加序号", {13, 175, 136, 16});
    captionNumber_->setText(QStringLiteral("微博内容+下载序号"));
    caption_ = Place<QRadioButton>(naming, "单选框_内容", {13, 204, 136, 18});
    caption_->setText(QStringLiteral("微博内容"));
    captionDate_ = Place<QRadioButton>(naming, "单选框_内容加日期", {13, 229, 139, 24});
    captionDate_->setText(QStringLiteral("微博内容+发布日期"));
    numberCaption_->setChecked(true);

    // The numbering group is drawn inside the naming group, on the frame around both.
    auto* numbering = Place<QGroupBox>(frame, "分组框5", {362, 41, 248, 96});
    numbering->setTitle(QStringLiteral("下载序号格式："));
    defaultNumber_ = Place<QRadioButton>(numbering, "单选框_默认序号", {7, 24, 217, 24});
    defaultNumber_->setText(QStringLiteral("[默认]下载序号格式1.2.3递增"));
    cycleNumber_ = Place<QRadioButton>(numbering, "单选框_循环序号", {10, 69, 222, 18});
    cycleNumber_->setText(QStringLiteral("100次循环,如1-1...1-100, 2-1..."));
    defaultNumber_->setChecked(true);
}

void OptionsPage::BuildAlbumGroup(QWidget* frame) {
    auto* group = Place<QGroupBox>(frame, "分组框8", {636, 15, 320, 298});
    // Six lines in 88 pixels: the text is set a little tighter than the font's own spacing.
    auto* about = Place<QLabel>(group, "标签11", {21, 32, 280, 88});
    about->setTextFormat(Qt::RichText);
    about->setText(QStringLiteral(
        "<div style=\"line-height:82%\">关于下载别人设置了密码的相册：首先，你要有该相册访问密码，"
        "之后，在上面输入对方主页，点击查看【用户专辑】按钮。<br><br>"
        "最后找到有密码的专辑点击，输入密码后，进入了有密码的相册。再进行第二步操作。</div>"));
    about->setWordWrap(true);
    about->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    albumButtonSwitch_ = Place<QCheckBox>(group, "选择框_用户专辑按钮不显示", {24, 136, 216, 16});
    albumButtonSwitch_->setText(QStringLiteral("显示用户专辑按钮[不明白就别勾选]"));
}

void OptionsPage::BuildSoundGroup(QWidget* frame) {
    auto* group = Place<QGroupBox>(frame, "分组框6", {20, 329, 600, 64});
    group->setTitle(QStringLiteral("下载完成提示音（mp3格式,不启用请留空）："));
    Label(group, "标签_保存路径1", {8, 21, 64, 32}, QStringLiteral("MP3位置："));
    mp3Edit_ = Place<QLineEdit>(group, "编辑框_MP3", {80, 25, 260, 27});
    chooseMp3_ = Place<QPushButton>(group, "按钮_选择MP3", {348, 24, 52, 28});
    chooseMp3_->setText(QStringLiteral("选择"));
    saveMp3_ = Place<QPushButton>(group, "按钮3", {416, 24, 52, 28});
    saveMp3_->setText(QStringLiteral("保存"));
}

void OptionsPage::BuildNetworkGroup(QWidget* frame) {
    auto* group = Place<QGroupBox>(frame, "分组框_网络", {636, 329, 320, 212});
    group->setTitle(QStringLiteral("网络设置："));
    Label(group, "标签_接口", {16, 24, 104, 28}, QStringLiteral("接口："));
    protocol_ = Place<QComboBox>(group, "组合框_接口", {124, 26, 120, 26});
    // Each item holds its "接口" value.
    for (const ProtocolChoiceItem& item : ProtocolChoiceItems())
        protocol_->addItem(QString::fromUtf8(item.text), QString::fromUtf8(item.settingValue));
    Label(group, "标签_请求间隔", {16, 60, 104, 28}, QStringLiteral("请求间隔："));
    interval_ = Place<QSpinBox>(group, "编辑框_请求间隔", {124, 62, 120, 26});
    interval_->setRange(0, 60000);
    interval_->setSingleStep(500);
    interval_->setSuffix(QStringLiteral(" 毫秒"));
    interval_->setValue(1500);
    // Stored once the number is complete, not at every digit typed.
    interval_->setKeyboardTracking(false);
    Label(group, "标签_同时下载图片数", {16, 96, 104, 28}, QStringLiteral("同时下载图片数："));
    parallelImages_ = Place<QSpinBox>(group, "编辑框_同时下载图片数", {124, 98, 120, 26});
    parallelImages_->setRange(1, 8);
    parallelImages_->setValue(1);
    auto* note = Label(group, "标签_网络说明", {16, 130, 288, 32},
                       QStringLiteral("自动：主页有相册标记时用相册版，否则用网页版。\n"
                                      "请求间隔越长，越不容易被限流。"));
    note->setWordWrap(true);
    auto* parallelNote = Label(group, "标签_同时下载图片数说明", {16, 166, 288, 36},
                               QStringLiteral("同时下载的图片越多，下载越快；\n"
                                              "设为 1 时一次只下载一张图片。"));
    parallelNote->setWordWrap(true);
}

bool OptionsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        emit startDateMouseReleased();
    return QWidget::eventFilter(watched, event);
}

}  // namespace ovx

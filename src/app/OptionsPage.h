#pragma once
// Page 3, "软件设置": the download options (record, time range, live photos, naming and
// numbering of the saved pictures), the user-album button switch, the finishing sound and the
// network options (protocol, request interval).

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace ovx {

class OptionsPage : public QWidget {
    Q_OBJECT

  public:
    static QString Caption();

    explicit OptionsPage(QWidget* parent = nullptr);

    QCheckBox* DownloadRecordBox() const { return downloadRecord_; }  // 选择框_下载记录
    QCheckBox* TimeRangeBox() const { return timeRange_; }            // 选择框_时间段
    QCheckBox* LivePhotosBox() const { return livePhotos_; }          // 选择框_实况照片
    QSpinBox* StopAtRecordedBox() const { return stopAtRecorded_; }  // 编辑框_遇到已下载即停止
    QDateEdit* StartDateBox() const { return startDate_; }           // 日期框_开始时间
    QDateEdit* EndDateBox() const { return endDate_; }               // 日期框_结束时间
    QRadioButton* NumberCaptionRadio() const { return numberCaption_; }  // 单选框_序号加内容
    QRadioButton* CaptionNumberRadio() const { return captionNumber_; }  // 单选框_内容加序号
    QRadioButton* CaptionRadio() const { return caption_; }              // 单选框_内容
    QRadioButton* CaptionDateRadio() const { return captionDate_; }  // 单选框_内容加日期
    QRadioButton* DefaultNumberRadio() const { return defaultNumber_; }  // 单选框_默认序号
    QRadioButton* CycleNumberRadio() const { return cycleNumber_; }      // 单选框_循环序号
    QCheckBox* AlbumButtonSwitch() const {
        return albumButtonSwitch_;
    }                                                // 选择框_用户专辑按钮不显示
    QLineEdit* Mp3Edit() const { return mp3Edit_; }  // 编辑框_MP3
    QPushButton* ChooseMp3Button() const { return chooseMp3_; }  // 按钮_选择MP3
    QPushButton* SaveMp3Button() const { return saveMp3_; }      // 按钮3
    // 自动 and the protocols (Protocols.h), each item's data its "接口" value.
    QComboBox* ProtocolBox() const { return protocol_; }        // 组合框_接口
    QSpinBox* RequestIntervalBox() const { return interval_; }  // 编辑框_请求间隔, ms
    QSpinBox* ParallelImagesBox() const { return parallelImages_; }  // 编辑框_同时下载图片数

  protected:
    // The start date box also stores its date when the left mouse button is released on it.
    bool eventFilter(QObject* watched, QEvent* event) override;

  signals:
    void startDateMouseReleased();

  private:
    void BuildCommonGroup(QWidget* frame);
    void BuildNamingGroup(QWidget* frame);
    void BuildAlbumGroup(QWidget* frame);
    void BuildSoundGroup(QWidget* frame);
    void BuildNetworkGroup(QWidget* frame);

    QCheckBox* downloadRecord_ = nullptr;
    QCheckBox* timeRange_ = nullptr;
    QCheckBox* livePhotos_ = nullptr;
    QSpinBox* stopAtRecorded_ = nullptr;
    QDateEdit* startDate_ = nullptr;
    QDateEdit* endDate_ = nullptr;
    QRadioButton* numberCaption_ = nullptr;
    QRadioButton* captionNumber_ = nullptr;
    QRadioButton* caption_ = nullptr;
    QRadioButton* captionDate_ = nullptr;
    QRadioButton* defaultNumber_ = nullptr;
    QRadioButton* cycleNumber_ = nullptr;
    QCheckBox* albumButtonSwitch_ = nullptr;
    QLineEdit* mp3Edit_ = nullptr;
    QPushButton* chooseMp3_ = nullptr;
    QPushButton* saveMp3_ = nullptr;
    QComboBox* protocol_ = nullptr;
    QSpinBox* interval_ = nullptr;
    QSpinBox* parallelImages_ = nullptr;
};

}  // namespace ovx

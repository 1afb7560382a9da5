#pragma once
// Page 2, "第二步：获取相册": the user's home-page address, the save location, the album list
// with its selection boxes, the operation log and the download progress.

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace ovx {

class LinkLabel;
class ReportList;

class AlbumsPage : public QWidget {
    Q_OBJECT

  public:
    static QString Caption();

    explicit AlbumsPage(QWidget* parent = nullptr);

    QGroupBox* HomeGroup() const { return homeGroup_; }          // 分组框_zhuye
    QGroupBox* LocationGroup() const { return locationGroup_; }  // 分组框_weizhi
    QGroupBox* ListGroup() const { return listGroup_; }          // 分组框_liebiao
    QGroupBox* LogGroup() const { return logGroup_; }            // 分组框_日志

    LinkLabel* HomePageHelpLabel() const { return helpLabel_; }        // 标签1
    QLineEdit* UserEdit() const { return userEdit_; }                  // 编辑框_号码
    QPushButton* GetAlbumsButton() const { return getAlbums_; }        // 按钮_获取相册封面
    QPushButton* DownloadButton() const { return download_; }          // 按钮_下载选中
    QPushButton* PauseButton() const { return pause_; }                // 按钮_暂停线程
    QPushButton* ContinueButton() const { return continue_; }          // 按钮_继续下载
    QPushButton* EndButton() const { return end_; }                    // 按钮_结束下载
    QLineEdit* SaveEdit() const { return saveEdit_; }                  // 编辑框_保存位置
    QPushButton* ChooseFolderButton() const { return chooseFolder_; }  // 按钮_选择位置
    QPushButton* OpenFolderButton() const { return openFolder_; }      // 按钮_打开目录
    ReportList* Albums() const { return albums_; }                     // 超级列表框1
    QPlainTextEdit* Log() const { return log_; }                       // 编辑框_操作记录
    QCheckBox* SelectAllBox() const { return selectAll_; }             // 选择框_全选
    QCheckBox* InvertBox() const { return invert_; }                   // 选择框_反选
    QCheckBox* CoversBox() const { return covers_; }                   // 选择框_有图
    QLabel* UserLabel() const { return userLabel_; }                   // 标签_用户
    QLabel* StatusLabel() const { return statusLabel_; }               // 标签_动态
    QProgressBar* Progress() const { return progress_; }               // 进度条1
    QLabel* PercentLabel() const { return percent_; }                  // 标签_进度条比例
    QLabel* AlbumCountLabel() const { return albumCount_; }      // 标签_选择了相册数量
    QLabel* CurrentAlbumLabel() const { return currentAlbum_; }  // 标签_正在下载相册
    QLabel* PhotoCountLabel() const { return photoCount_; }      // 标签_第多少张照片

    // "全选": only when now checked, unticks "反选" and checks every row.
    void OnSelectAllClicked(bool checked);
    // "反选": only when now checked, unticks "全选" and flips every row.
    void OnInvertClicked(bool checked);

  private:
    void BuildHomeGroup();
    void BuildLocationGroup();
    void BuildListGroup();

    QGroupBox* homeGroup_ = nullptr;
    QGroupBox* locationGroup_ = nullptr;
    QGroupBox* listGroup_ = nullptr;
    QGroupBox* logGroup_ = nullptr;
    LinkLabel* helpLabel_ = nullptr;
    QLineEdit* userEdit_ = nullptr;
    QPushButton* getAlbums_ = nullptr;
    QPushButton* download_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* continue_ = nullptr;
    QPushButton* end_ = nullptr;
    QLineEdit* saveEdit_ = nullptr;
    QPushButton* chooseFolder_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    ReportList* albums_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QCheckBox* selectAll_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QCheckBox* covers_ = nullptr;
    QLabel* userLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* percent_ = nullptr;
    QLabel* albumCount_ = nullptr;
    QLabel* currentAlbum_ = nullptr;
    QLabel* photoCount_ = nullptr;
};

}  // namespace ovx

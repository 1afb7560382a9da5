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
};

}  // namespace ovx

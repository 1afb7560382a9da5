#pragma once
// The window's resize rule: which controls follow the window's width, and how. A pure function
// over the controls' rectangles, so the rule can be checked without widgets.

#include <QRect>

namespace ovx {

// The rectangles (relative to each control's container) the rule reads and changes.
struct WindowGeometry {
    QRect tabs;                // 高级选择夹1
    QRect browser;             // 超文本浏览框1
    QRect albumPageButton;     // 按钮_专辑页面
    QRect openButton;          // 按钮_打开
    QRect urlEdit;             // 编辑框_url
    QRect homeGroup;           // 分组框_zhuye
    QRect locationGroup;       // 分组框_weizhi
    QRect listGroup;           // 分组框_liebiao
    QRect reportList;          // 超级列表框1
    QRect logGroup;            // 分组框_日志
    QRect userEdit;            // 编辑框_号码
    QRect getAlbumsButton;     // 按钮_获取相册封面
    QRect downloadButton;      // 按钮_下载选中
    QRect pauseButton;         // 按钮_暂停线程
    QRect continueButton;      // 按钮_继续下载
    QRect endButton;           // 按钮_结束下载
    QRect saveEdit;            // 编辑框_保存位置
    QRect chooseFolderButton;  // 按钮_选择位置
    QRect openFolderButton;    // 按钮_打开目录

    friend bool operator==(const WindowGeometry&, const WindowGeometry&) = default;
};

// The geometry after the window became `windowWidth` pixels wide. Heights never change; the
// steps run in a fixed order and later steps read the widths earlier steps set.
WindowGeometry ApplyResizeLayout(WindowGeometry g, int windowWidth);

}  // namespace ovx

#pragma once
// The program's own pictures, painted at run time: the navigation bar's large
// (58 x 48) and small (16 x 16) page icons, the toolbar's 20 x 20 images and
// the picture of the tip and about boxes.  Nothing is loaded from files.
#include <QIcon>
#include <QPixmap>

namespace velk::shell {

enum class PageIcon { kRecorder, kEditor, kRunner, kReport, kGraphs, kBatchGraphs };
enum class ToolIcon {
    kNew,
    kOpen,
    kSave,
    kOpenResults,
    kSaveResults,
    kStartRec,
    kStopRec,
    kRunTest,
    kStopTest,
    kHelp
};

QPixmap pageIcon(PageIcon icon, bool large);
QIcon toolIcon(ToolIcon icon);
// A light bulb for "Did you know..." and the program's emblem for the about box.
QPixmap tipPicture();
QPixmap emblemPicture();

}  // namespace velk::shell

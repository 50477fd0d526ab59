#pragma once
// The Help menu's outside links: the help's table of contents, the web site,
// the feedback mail, and the crash report's mail offer (run by the fresh
// process the crash handler starts).  Links open through QDesktopServices, so
// the user's own browser and mail program take them.
#include <QString>
#include <QUrl>

class QWidget;

namespace velk::shell {

// Build settings: the web site and the support mail address.
QString webSiteAddress();
QString supportMailAddress();

// "mailto:<support>?subject=VELK 2.0 Feedback&body=Dec 27 2002%0d%0aOS: <os>%0d%0a%0d%0a"
QUrl feedbackMailUrl(const QString& support, const QString& osText);
// The crash report's mail, asking to attach the report at reportPath.
QUrl crashReportMailUrl(const QString& support, const QString& reportPath);

// Opens help/index.html shipped with the program; a message when it is missing.
void openHelpContents(QWidget* parent);
void openWebSite();
void sendFeedback();
// The fresh process after a crash: asks whether to mail the report; returns
// the process's exit status.
int offerCrashReportMail(const QString& reportPath);

}  // namespace velk::shell

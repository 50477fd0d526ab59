#include "gui/shell/help_commands.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>

#include "app/shell/os_text.h"
#include "app/shell/program_data.h"

namespace velk::shell {

QString webSiteAddress() {
    return QStringLiteral(VELK_WEB_SITE);
}

QString supportMailAddress() {
    return QStringLiteral(VELK_SUPPORT_MAIL);
}

QUrl feedbackMailUrl(const QString& support, const QString& osText) {
    return QUrl(QStringLiteral("mailto:") + support +
                    QStringLiteral("?subject=VELK 2.0 Feedback&body=Dec 27 2002%0d%0aOS: ") +
                    QString::fromLatin1(QUrl::toPercentEncoding(osText, " ()/")) +
                    QStringLiteral("%0d%0a%0d%0a"),
                QUrl::TolerantMode);
}

QUrl crashReportMailUrl(const QString& support, const QString& reportPath) {
    return QUrl(QStringLiteral("mailto:") + support +
                    QStringLiteral("?subject=VELK 2.0 Crash Report&body=") +
                    QStringLiteral("Please attach the following file before sending the message : "
                                   "%0d%0a") +
                    QString::fromLatin1(QUrl::toPercentEncoding(reportPath, " /")) +
                    QStringLiteral("%0d%0a"),
                QUrl::TolerantMode);
}

void openHelpContents(QWidget* parent) {
    const QString index = QString::fromStdString(programDataPath("help/index.html"));
    if (!QFileInfo(index).isFile()) {
        QMessageBox::warning(parent, QStringLiteral("VELK"),
                             QStringLiteral("The help file %1 was not found.").arg(index));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(index));
}

void openWebSite() {
    QDesktopServices::openUrl(QUrl(webSiteAddress()));
}

void sendFeedback() {
    QDesktopServices::openUrl(
        feedbackMailUrl(supportMailAddress(), QString::fromStdString(operatingSystemText())));
}

int offerCrashReportMail(const QString& reportPath) {
    const auto answer = QMessageBox::critical(
        nullptr, QStringLiteral("VELK"),
        QStringLiteral(
            "Unfortunately VELK experienced a problem running on your system and it will be "
            "closed now. However you have a possibility to send a bug report with all the "
            "information required for Orvantis to fix this problem. If you choose to proceed, "
            "an email message will be generated. You will be able to edit it and send it to "
            "Orvantis's support team. The message WILL NOT be sent automatically without your "
            "notice. We will provide full support for you as soon as we receive the message. "
            "Do you want to proceed?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        QDesktopServices::openUrl(crashReportMailUrl(supportMailAddress(), reportPath));
    return 0;
}

}  // namespace velk::shell

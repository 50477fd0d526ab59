#include "gui/shell/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/shell/help_commands.h"
#include "gui/shell/shell_icons.h"

namespace velk::shell {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About VELK"));
    auto* picture = new QLabel(this);
    picture->setPixmap(emblemPicture());
    auto* description = new QLabel(
        QStringLiteral("VELK records, edits and runs load tests of web applications."), this);
    auto* version = new QLabel(QStringLiteral(" VELK v2.0 built on %1").arg("Dec 27 2002"), this);
    auto* link = new QPushButton(webSiteAddress(), this);
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline; border: none;"));
    link->setAccessibleName(QStringLiteral("VELK on the Web"));
    connect(link, &QPushButton::clicked, this, [] { openWebSite(); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(description);
    text->addWidget(version);
    text->addWidget(link, 0, Qt::AlignLeft);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

}  // namespace velk::shell

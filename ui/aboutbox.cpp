#include "ui/aboutbox.h"

#include "syntax/snippethighlighter.h"
#include "syntax/thirdpartynotices.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

void addHelpMenu(QMainWindow *window)
{
    QMenu *help = window->menuBar()->addMenu(QMainWindow::tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction *about = help->addAction(QMainWindow::tr("&About Quillory"));
    about->setObjectName(QStringLiteral("actionAbout"));
    QObject::connect(about, &QAction::triggered, window, [window] { showAboutBox(window); });
}

void showAboutBox(QWidget *parent)
{
    const QString notices = QString::fromUtf8(thirdPartyNotices);
    QString text = QMainWindow::tr("Quillory %1\n\nA personal library of source-text snippets.")
                       .arg(QCoreApplication::applicationVersion());
    if (!notices.isEmpty()) {
        text += QMainWindow::tr("\n\nSyntax highlighting by tree-sitter and its grammars for %1, "
                                "under the MIT licence; the notices are under Show Details.")
                    .arg(SnippetHighlighter::languages().join(QStringLiteral(", ")));
    }
    QMessageBox box(QMessageBox::NoIcon, QMainWindow::tr("About Quillory"), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setDetailedText(notices);
    box.exec();
}

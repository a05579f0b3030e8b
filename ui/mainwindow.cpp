#include "ui/mainwindow.h"

#include "glass/composition.h"
#include "ui/mainwindowform.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFont>
#include <QSettings>
#include <QTextEdit>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , form(new MainWindowForm)
{
    form->setupForm(this);

    listLanguages();

    QSettings settings;
    form->textEditSnippet->setFont(
        settings.value(QStringLiteral("Font"), form->textEditSnippet->font()).value<QFont>());
    restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());

    if (!isCompositionEnabled()) {
        form->centralWidget->setStyleSheet(
            form->centralWidget->styleSheet()
            + QStringLiteral("QWidget#centralWidget {background-color: rgb(232,236,246);} "));
    }
}

MainWindow::~MainWindow()
{
    delete form;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    QMainWindow::closeEvent(event);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        form->retranslateForm(this);
}

void MainWindow::on_pushButtonRemoveLanguage_clicked() {}
void MainWindow::on_pushButtonRemoveCategory_clicked() {}
void MainWindow::on_pushButtonRemoveSnippet_clicked() {}
void MainWindow::on_pushButtonSaveSnippet_clicked() {}
void MainWindow::on_comboBoxSnippet_currentIndexChanged(int) { loadSnippet(); }
void MainWindow::on_comboBoxCategory_currentIndexChanged(int) { listSnippets(); }
void MainWindow::on_comboBoxLanguage_currentIndexChanged(int) { listCategories(); }
void MainWindow::on_pushButtonAddSnippet_clicked() {}
void MainWindow::on_pushButtonAddCategory_clicked() {}
void MainWindow::on_pushButtonAddLanguage_clicked() {}
void MainWindow::on_menuBar_triggered(QAction *) {}

QString MainWindow::libraryRootPath() const { return QString(); }
void MainWindow::listLanguages() {}
void MainWindow::listCategories() {}
void MainWindow::listSnippets() {}
void MainWindow::loadSnippet() {}

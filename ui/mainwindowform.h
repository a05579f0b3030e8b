#pragma once

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QSpacerItem;
class QTextEdit;
class QVBoxLayout;
class QWidget;

// The main window's widget tree. A plain record of non-owning pointers in
// creation order; the objects themselves belong to the window's object tree.
// Object names equal member names: the window's slots bind to them by name.
struct MainWindowForm
{
    QAction *actionFont;
    QAction *actionAdd_Language;
    QAction *actionAdd_Cateegory;
    QAction *actionAdd_Snippet;
    QAction *actionQuit;
    QAction *actionSave;
    QAction *actionRename_Language;
    QAction *actionRename_Category;
    QAction *actionRename_Snippet;
    QAction *actionUpdate;
    QAction *actionFind;
    QAction *actionCopySnippet;
    QAction *actionUndo_Remove;
    QWidget *centralWidget;
    QVBoxLayout *verticalLayout_4;
    QLabel *label_4;
    QLineEdit *lineEditSynopsis;
    QTextEdit *textEditSnippet;
    QHBoxLayout *horizontalLayout_4;
    QVBoxLayout *verticalLayout;
    QLabel *label;
    QComboBox *comboBoxLanguage;
    QHBoxLayout *horizontalLayout;
    QSpacerItem *horizontalSpacer;
    QPushButton *pushButtonAddLanguage;
    QPushButton *pushButtonRemoveLanguage;
    QSpacerItem *horizontalSpacer_2;
    QVBoxLayout *verticalLayout_2;
    QLabel *label_2;
    QComboBox *comboBoxCategory;
    QHBoxLayout *horizontalLayout_2;
    QSpacerItem *horizontalSpacer_3;
    QPushButton *pushButtonAddCategory;
    QPushButton *pushButtonRemoveCategory;
    QSpacerItem *horizontalSpacer_4;
    QVBoxLayout *verticalLayout_3;
    QLabel *label_3;
    QComboBox *comboBoxSnippet;
    QHBoxLayout *horizontalLayout_3;
    QSpacerItem *horizontalSpacer_5;
    QPushButton *pushButtonAddSnippet;
    QPushButton *pushButtonSaveSnippet;
    QPushButton *pushButtonRemoveSnippet;
    QSpacerItem *horizontalSpacer_6;
    QMenuBar *menuBar;
    QMenu *menuFile;
    QMenu *menuSettings;
    QMenu *menuEdit;

    void setupForm(QMainWindow *window);
    void retranslateForm(QMainWindow *window);
};

#include "ui/mainwindowform.h"

#include "ui/codeedit.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

// Translucent, so that the glass frame shows through where composition is on.
const char windowStyleSheet[] =
    "QWidget#centralWidget {\n"
    "\t border: 1px solid;\n"
    "     border-radius: 3px;\n"
    "     border-color: rgb(141, 178, 227);\n"
    "     background-color: rgba(228, 238, 249,200);\n"
    "} ";

QIcon iconFromResource(const QString &path)
{
    QIcon icon;
    icon.addFile(path, QSize(), QIcon::Normal, QIcon::Off);
    // Renders of the same drawing for 200 % screens (name@2x.png) and for
    // title bars (icon@16px.png ...): scaled up, the 1x image blurs; scaled
    // down from 256 pixels, the window icon does. Added here rather than left
    // to QIcon, which looks for name@2x.png only when the program starts on
    // such a screen.
    const QFileInfo image(path);
    const QDir folder = image.dir();
    const QStringList renders =
        folder.entryList({image.completeBaseName() + QStringLiteral("@*.png")}, QDir::Files);
    for (const QString &render : renders)
        icon.addFile(folder.filePath(render), QSize(), QIcon::Normal, QIcon::Off);
    return icon;
}

template <typename T>
T *named(T *object, const char *name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

QAction *newAction(QMainWindow *window, const char *name)
{
    return named(new QAction(window), name);
}

template <typename Layout>
Layout *newLayout()
{
    auto *layout = new Layout;
    layout->setSpacing(6);
    return layout;
}

// Keeps a row's buttons centred under its combo box.
QSpacerItem *newSpacer()
{
    return new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QPushButton *newButton(QWidget *parent, const QIcon &icon)
{
    auto *button = new QPushButton(parent);
    button->setIcon(icon);
    button->setIconSize(QSize(25, 25));
    return button;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// Where the form keeps an object, and the object name it must carry.
template <typename T>
struct Place
{
    T **member;
    const char *name;

    T *hold(T *object) const { return *member = named(object, name); }
};

struct ColumnPlaces
{
    Place<QVBoxLayout> column;
    Place<QLabel> label;
    Place<QComboBox> box;
    Place<QHBoxLayout> buttonRow;
    QSpacerItem **leadingSpacer;
    QSpacerItem **trailingSpacer;
};

struct ButtonPlace
{
    Place<QPushButton> place;
    QIcon icon;
};

// One level's column: caption, combo box, and its buttons centred below,
// each object made in the order the form editor makes them.
void addColumn(QHBoxLayout *columns, QWidget *parent, const ColumnPlaces &places,
               std::initializer_list<ButtonPlace> buttons)
{
    QVBoxLayout *column = places.column.hold(newLayout<QVBoxLayout>());
    column->addWidget(places.label.hold(new QLabel(parent)));
    column->addWidget(places.box.hold(new QComboBox(parent)));
    QHBoxLayout *row = places.buttonRow.hold(newLayout<QHBoxLayout>());
    row->addItem(*places.leadingSpacer = newSpacer());
    for (const ButtonPlace &button : buttons)
        row->addWidget(button.place.hold(newButton(parent, button.icon)));
    row->addItem(*places.trailingSpacer = newSpacer());
    column->addLayout(row);
    columns->addLayout(column);
}

} // namespace

void MainWindowForm::setupForm(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(632, 400);
    window->setWindowIcon(iconFromResource(QStringLiteral(":/resources/icon.png")));
    window->setStyleSheet(QLatin1String(windowStyleSheet));

    actionFont = newAction(window, "actionFont");
    actionAdd_Language = newAction(window, "actionAdd_Language");
    const QIcon addIcon = iconFromResource(QStringLiteral(":/resources/add.png"));
    actionAdd_Language->setIcon(addIcon);
    actionAdd_Cateegory = newAction(window, "actionAdd_Cateegory");
    actionAdd_Cateegory->setIcon(addIcon);
    actionAdd_Snippet = newAction(window, "actionAdd_Snippet");
    actionAdd_Snippet->setIcon(addIcon);
    actionQuit = newAction(window, "actionQuit");
    actionSave = newAction(window, "actionSave");
    const QIcon saveIcon = iconFromResource(QStringLiteral(":/resources/save.png"));
    actionSave->setIcon(saveIcon);
    actionRename_Language = newAction(window, "actionRename_Language");
    actionRename_Category = newAction(window, "actionRename_Category");
    actionRename_Snippet = newAction(window, "actionRename_Snippet");
    actionUpdate = newAction(window, "actionUpdate");
    actionSave->setShortcuts(QKeySequence::Save);
    actionAdd_Snippet->setShortcuts(QKeySequence::New);
    actionRename_Snippet->setShortcut(QKeySequence(Qt::Key_F2));
    // Windows defines no standard key for Quit.
    const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    actionQuit->setShortcuts(quitKeys.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)}
                                                : quitKeys);
    actionFind = newAction(window, "actionFind");
    actionFind->setShortcut(QKeySequence::Find);
    actionCopySnippet = newAction(window, "actionCopySnippet");
    actionCopySnippet->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    // The text fields take the same key for their own undo while they have
    // the focus; elsewhere it brings the last removed snippet back.
    actionUndo_Remove = newAction(window, "actionUndo_Remove");
    actionUndo_Remove->setShortcuts(QKeySequence::Undo);
    // Quit, Save, Add Snippet and Find keep their keys while the Find window
    // is the active one; a modal dialog still shuts them out.
    for (QAction *action : {actionQuit, actionSave, actionAdd_Snippet, actionFind})
        action->setShortcutContext(Qt::ApplicationShortcut);

    centralWidget = named(new QWidget(window), "centralWidget");
    verticalLayout_4 = named(new QVBoxLayout(centralWidget), "verticalLayout_4");
    verticalLayout_4->setSpacing(6);
    verticalLayout_4->setContentsMargins(11, 11, 11, 11);
    label_4 = named(new QLabel(centralWidget), "label_4");
    verticalLayout_4->addWidget(label_4);
    lineEditSynopsis = named(new QLineEdit(centralWidget), "lineEditSynopsis");
    verticalLayout_4->addWidget(lineEditSynopsis);
    textEditSnippet = named(new CodeEdit(centralWidget), "textEditSnippet");
    verticalLayout_4->addWidget(textEditSnippet);

    horizontalLayout_4 = named(newLayout<QHBoxLayout>(), "horizontalLayout_4");

    const QIcon removeIcon = iconFromResource(QStringLiteral(":/resources/remove.png"));
    addColumn(horizontalLayout_4, centralWidget,
              {{&verticalLayout, "verticalLayout"}, {&label, "label"},
               {&comboBoxLanguage, "comboBoxLanguage"}, {&horizontalLayout, "horizontalLayout"},
               &horizontalSpacer, &horizontalSpacer_2},
              {{{&pushButtonAddLanguage, "pushButtonAddLanguage"}, addIcon},
               {{&pushButtonRemoveLanguage, "pushButtonRemoveLanguage"}, removeIcon}});
    addColumn(horizontalLayout_4, centralWidget,
              {{&verticalLayout_2, "verticalLayout_2"}, {&label_2, "label_2"},
               {&comboBoxCategory, "comboBoxCategory"}, {&horizontalLayout_2, "horizontalLayout_2"},
               &horizontalSpacer_3, &horizontalSpacer_4},
              {{{&pushButtonAddCategory, "pushButtonAddCategory"}, addIcon},
               {{&pushButtonRemoveCategory, "pushButtonRemoveCategory"}, removeIcon}});
    addColumn(horizontalLayout_4, centralWidget,
              {{&verticalLayout_3, "verticalLayout_3"}, {&label_3, "label_3"},
               {&comboBoxSnippet, "comboBoxSnippet"}, {&horizontalLayout_3, "horizontalLayout_3"},
               &horizontalSpacer_5, &horizontalSpacer_6},
              {{{&pushButtonAddSnippet, "pushButtonAddSnippet"}, addIcon},
               {{&pushButtonSaveSnippet, "pushButtonSaveSnippet"}, saveIcon},
               {{&pushButtonRemoveSnippet, "pushButtonRemoveSnippet"}, removeIcon}});

    verticalLayout_4->addLayout(horizontalLayout_4);
    window->setCentralWidget(centralWidget);

    // Alt plus the label's letter reaches each field, and a screen reader
    // names each field after its label.
    label_4->setBuddy(lineEditSynopsis);
    label->setBuddy(comboBoxLanguage);
    label_2->setBuddy(comboBoxCategory);
    label_3->setBuddy(comboBoxSnippet);

    menuBar = named(new QMenuBar(window), "menuBar");
    menuBar->setGeometry(QRect(0, 0, 632, 21));
    // Always drawn inside the window, also where a global menu exists.
    menuBar->setNativeMenuBar(false);
    menuFile = named(new QMenu(menuBar), "menuFile");
    menuSettings = named(new QMenu(menuBar), "menuSettings");
    menuEdit = named(new QMenu(menuBar), "menuEdit");
    window->setMenuBar(menuBar);

    menuBar->addAction(menuFile->menuAction());
    menuBar->addAction(menuEdit->menuAction());
    menuBar->addAction(menuSettings->menuAction());
    menuFile->addAction(actionAdd_Language);
    menuFile->addAction(actionAdd_Cateegory);
    menuFile->addAction(actionAdd_Snippet);
    menuFile->addSeparator();
    menuFile->addAction(actionSave);
    menuFile->addSeparator();
    menuFile->addAction(actionQuit);
    menuEdit->addAction(actionUndo_Remove);
    menuEdit->addSeparator();
    menuEdit->addAction(actionRename_Language);
    menuEdit->addAction(actionRename_Category);
    menuEdit->addAction(actionRename_Snippet);
    menuEdit->addSeparator();
    menuEdit->addAction(actionFind);
    menuEdit->addAction(actionCopySnippet);
    menuSettings->addAction(actionFont);
    menuSettings->addAction(actionUpdate);

    retranslateForm(window);

    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateForm(QMainWindow *window)
{
    window->setWindowTitle(tr("Quillory"));
    actionFont->setText(tr("&Font"));
    actionAdd_Language->setText(tr("Add &Language"));
    actionAdd_Cateegory->setText(tr("Add &Category"));
    actionAdd_Snippet->setText(tr("Add S&nippet"));
    actionQuit->setText(tr("&Quit"));
    actionSave->setText(tr("&Save"));
    actionRename_Language->setText(tr("Rename &Language"));
    actionRename_Category->setText(tr("Rename &Category"));
    actionRename_Snippet->setText(tr("Rename &Snippet"));
    actionUpdate->setText(tr("&Update"));
    actionFind->setText(tr("&Find\u2026"));
    actionCopySnippet->setText(tr("Co&py Snippet"));
    label_4->setText(tr("S&ynopsis:"));
    label->setText(tr("&Language:"));
    pushButtonAddLanguage->setText(tr("Add"));
    pushButtonRemoveLanguage->setText(tr("Remove"));
    label_2->setText(tr("&Category:"));
    pushButtonAddCategory->setText(tr("Add"));
    pushButtonRemoveCategory->setText(tr("Remove"));
    label_3->setText(tr("S&nippet:"));
    pushButtonAddSnippet->setText(tr("Add"));
    pushButtonSaveSnippet->setText(tr("Save"));
    pushButtonRemoveSnippet->setText(tr("Remove"));
    // After the text, which replaces a button's key with its mnemonic. Not
    // plain Delete, which deletes a character in the fields; in a field,
    // Shift+Delete stays Cut.
    pushButtonRemoveSnippet->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    menuFile->setTitle(tr("&File"));
    menuSettings->setTitle(tr("&Settings"));
    menuEdit->setTitle(tr("&Edit"));
    // A screen reader would name a list after its current entry, and the
    // body has no label.
    lineEditSynopsis->setAccessibleName(tr("Synopsis"));
    comboBoxLanguage->setAccessibleName(tr("Language"));
    comboBoxCategory->setAccessibleName(tr("Category"));
    comboBoxSnippet->setAccessibleName(tr("Snippet"));
    textEditSnippet->setAccessibleName(tr("Snippet text"));
}

// Form1's controls and menus, as the designer placed them (positions in twips).

#include "mainwindow/Form1.h"
#include "mainwindow/ListModelAdapter.h"
#include "mainwindow/ListView.h"
#include "mainwindow/PathDelegate.h"
#include "mainwindow/Pictures.h"
#include "mainwindow/Twips.h"

#include <QFontMetrics>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <array>

namespace quillory::mainwindow {

namespace {

constexpr int kClientWidthTwips = 11235;
constexpr int kClientHeightTwips = 7515;
constexpr int kBigPicturePixels = 48;
constexpr int kSmallPicturePixels = 32;
// Space the button's frame takes around its picture and caption.
constexpr int kButtonMarginPixels = 6;
constexpr const char* kCaptionFontFamilies[] = {"MS Sans Serif", "Microsoft Sans Serif",
                                                "Liberation Sans", "DejaVu Sans", "Sans Serif"};
constexpr double kCaptionFontPoints = 9.75;

enum class Kind { PictureAndCaption, Picture, Plain, List, ProgressBar };

struct ControlPlacement {
    const char* name;
    Kind kind;
    const char* caption;
    int left, top, width, height;
    Picture picture;
    int picturePixels;
};

// In tab order.
constexpr std::array<ControlPlacement, 21> kControls{{
    {"Command8", Kind::PictureAndCaption, "Add Excel", 120, 0, 1210, 970,
     Picture::SpreadsheetDocument, kBigPicturePixels},
    {"Command6", Kind::PictureAndCaption, "Add Folder", 1440, 0, 1210, 975, Picture::Folder,
     kBigPicturePixels},
    {"Command7", Kind::PictureAndCaption, "Remove File", 2760, 0, 1330, 975, Picture::RemoveFile,
     kSmallPicturePixels},
    {"ListView1", Kind::List, "", 120, 1080, 10695, 2175, {}, 0},
    {"ListView2", Kind::List, "", 120, 3360, 2295, 3255, {}, 0},
    {"ListView3", Kind::List, "", 2520, 3360, 2295, 3255, {}, 0},
    {"Command20", Kind::Plain, "Add All Excel Files", 120, 6660, 2295, 375, {}, 0},
    {"Command16", Kind::Plain, "Add All Sheets", 2520, 6660, 2295, 375, {}, 0},
    {"Command10", Kind::Picture, "", 4800, 4320, 610, 375, Picture::ArrowRight,
     kSmallPicturePixels},
    {"Command11", Kind::Picture, "", 4800, 5040, 610, 375, Picture::ArrowLeft, kSmallPicturePixels},
    {"ListView4", Kind::List, "", 5400, 3360, 5415, 3255, {}, 0},
    {"Command17", Kind::Plain, "Remove All", 5400, 6660, 1695, 375, {}, 0},
    {"Command14", Kind::Picture, "", 10800, 4200, 375, 735, Picture::ArrowUp, kSmallPicturePixels},
    {"Command15", Kind::Picture, "", 10800, 5160, 375, 735, Picture::ArrowDown,
     kSmallPicturePixels},
    {"Command4", Kind::Picture, "", 10800, 2280, 375, 735, Picture::ArrowDown, kSmallPicturePixels},
    {"Command5", Kind::Picture, "", 10800, 1320, 375, 735, Picture::ArrowUp, kSmallPicturePixels},
    {"Command18", Kind::PictureAndCaption, "Merge", 5280, 0, 1455, 970, Picture::ProgramIcon,
     kSmallPicturePixels},
    {"Command12", Kind::PictureAndCaption, "Help", 6840, 0, 1215, 975, Picture::Help,
     kSmallPicturePixels},
    {"Command13", Kind::PictureAndCaption, "HomePage", 8160, 0, 1335, 975, Picture::HomePage,
     kBigPicturePixels},
    {"Command9", Kind::PictureAndCaption, "Exit", 9600, 0, 1215, 975, Picture::Exit,
     kSmallPicturePixels},
    {"ProgressBar1", Kind::ProgressBar, "", 120, 7080, 11020, 255, {}, 0},
}};

QRect pixelRect(const ControlPlacement& control) {
    return {TwipsToPixels(control.left), TwipsToPixels(control.top), TwipsToPixels(control.width),
            TwipsToPixels(control.height)};
}

QFont captionFont() {
    QFont font;
    QStringList families;
    for (const char* family : kCaptionFontFamilies) {
        families << QString::fromLatin1(family);
    }
    font.setFamilies(families);
    font.setPointSizeF(kCaptionFontPoints);
    font.setWeight(QFont::Normal);
    return font;
}

QWidget* makeButton(const ControlPlacement& control, QWidget* parent) {
    if (control.kind == Kind::Plain) {
        return new QPushButton(QString::fromLatin1(control.caption), parent);
    }
    auto* button = new QToolButton(parent);
    button->setIcon(LoadPicture(control.picture));
    if (control.kind == Kind::PictureAndCaption) {
        button->setText(QString::fromLatin1(control.caption));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setFont(captionFont());
        // The designer's buttons are just tall enough for a 48-pixel picture and the caption
        // without a frame; with this platform's frame the picture shrinks so the caption shows.
        const int side = std::min(control.picturePixels, pixelRect(control).height() -
                                                             QFontMetrics(button->font()).height() -
                                                             kButtonMarginPixels);
        button->setIconSize(QSize(side, side));
    } else {
        const QRect rect = pixelRect(control);
        const int side = std::min({control.picturePixels, rect.width() - kButtonMarginPixels,
                                   rect.height() - kButtonMarginPixels});
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setIconSize(QSize(side, side));
    }
    return button;
}

} // namespace

void Form1::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
    setCentralWidget(client);

    const ListModelAdapter::Options plainList{true, {}};
    lists::ListModel* models[] = {&lists_.sources, &lists_.workbooks, &lists_.worksheets,
                                  &lists_.merge};
    // Only the source list shows small icons; the other three show a check box in every row.
    adapters_[0] = std::make_unique<ListModelAdapter>(
        lists_.sources, ListModelAdapter::Options{false, SourceListImages()});
    for (int i = 1; i < 4; ++i) {
        adapters_[i] = std::make_unique<ListModelAdapter>(*models[i], plainList);
    }

    QWidget* previous = nullptr;
    int listNumber = 0;
    for (const ControlPlacement& control : kControls) {
        QWidget* widget = nullptr;
        switch (control.kind) {
        case Kind::List: {
            auto* view = new ListView(client);
            view->bind(adapters_[listNumber].get());
            listViews_[listNumber++] = view;
            widget = view;
            break;
        }
        case Kind::ProgressBar:
            progressBar1_ = new QProgressBar(client);
            progressBar1_->setTextVisible(false);
            widget = progressBar1_;
            break;
        default:
            widget = makeButton(control, client);
            break;
        }
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setGeometry(pixelRect(control));
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
    // Paths are told apart by their file names: a long one loses its middle, not its end. The
    // row's tooltip shows it whole.
    for (ListView* paths : {listViews_[0], listViews_[3]}) {
        paths->setItemDelegateForColumn(0, new PathDelegate(paths));
        paths->setTextElideMode(Qt::ElideMiddle);
    }
}

void Form1::buildMenus() {
    struct Entry {
        const char* name;
        const char* caption;
    };
    struct Menu {
        const char* name;
        const char* caption;
        std::array<Entry, 3> entries; // unused slots have a null name
    };
    static constexpr Menu kMenus[] = {
        {"FileMenu",
         "File",
         {{{"Addexcel", "Add Excel File"}, {"AddFolder", "Add All Excel Files in Folder"}, {}}}},
        {"EditMenu",
         "Edit",
         {{{"RemoveItem", "Remove List Item"}, {"RemoveAll", "Remove All List Items"}, {}}}},
        {"ActionsMenu", "Actions", {{{"Merge", "Merge"}, {}, {}}}},
        {nullptr, "Settings", {{{"Settings", "Settings"}, {}, {}}}},
        {"HelpMenu", "Help", {{{"Help", "Help"}, {"HomePage", "HomePage"}, {"About", "About"}}}},
    };
    QMenuBar* bar = menuBar();
    for (const Menu& menu : kMenus) {
        if (menu.name == nullptr) {
            // The menu-bar entry itself is the command: no drop-down.
            QAction* action = bar->addAction(QString::fromLatin1(menu.caption));
            action->setObjectName(QString::fromLatin1(menu.entries[0].name));
            continue;
        }
        QMenu* dropDown = bar->addMenu(QString::fromLatin1(menu.caption));
        dropDown->setObjectName(QString::fromLatin1(menu.name));
        for (const Entry& entry : menu.entries) {
            if (entry.name != nullptr) {
                QAction* action = dropDown->addAction(QString::fromLatin1(entry.caption));
                action->setObjectName(QString::fromLatin1(entry.name));
            }
        }
    }
}

} // namespace quillory::mainwindow

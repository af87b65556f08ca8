#include "window/frm_main.h"

#include "platform/close_request_watch.h"
#include "platform/qt_platform.h"
#include "platform/text_box.h"
#include "window/caption_fit.h"
#include "window/main_commands.h"

#include <QCloseEvent>
#include <QFont>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QTextEdit>

// The icon's source: a 32 x 32 image in nine colours, compiled in as it stands.
#include "orvik.xpm"

namespace orvik {

namespace {

// What a screen reader says of a control: its name, then what it does.
struct Spoken
{
    const char* name;
    const char* description;
};

void SetSpoken(QWidget& widget, Spoken spoken)
{
    widget.setAccessibleName(QString::fromUtf8(spoken.name));
    widget.setAccessibleDescription(QString::fromUtf8(spoken.description));
}

// Places and sizes are drawn in twips, 15 to a logical pixel; Qt scales logical pixels to the
// screen's density itself.
constexpr int kTwipsPerPixel = 15;

// Every figure falls on a whole pixel: one that does not fails to compile.
consteval int Pixels(int twips)
{
    return twips % kTwipsPerPixel == 0 ? twips / kTwipsPerPixel
                                       : throw "a place or size that is not a whole pixel";
}

consteval QRect FromTwips(int left, int top, int width, int height)
{
    return QRect(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
}

constexpr int kClientWidth = 6975;
constexpr int kClientHeight = 5340;

// The font both boxes open in; where the machine lacks it, the nearest sans-serif face.
QFont BoxFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.5);
    return font;
}

QTextEdit* MakeBox(
    QWidget* parent, const char* name, QRect place, const QString& initialText, Spoken spoken)
{
    auto* box = new TextBox(parent);
    box->setObjectName(QLatin1StringView(name));
    SetSpoken(*box, spoken);
    box->setGeometry(place);
    box->setFont(BoxFont());
    box->setLocale(QLocale(QLocale::French, QLocale::France));
    // Tab moves between the window's controls; a tab character can still be pasted.
    box->setTabChangesFocus(true);
    box->setPlainText(initialText);
    return box;
}

QPushButton* MakeButton(
    QWidget* parent, const char* name, QRect place, const QString& caption, Spoken spoken)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    // The caption in capitals would be spelt out letter by letter by some screen readers.
    SetSpoken(*button, spoken);
    button->setGeometry(place);
    // No button answers Enter or Esc for the whole window; Space clicks the focused one.
    button->setAutoDefault(false);
    button->setDefault(false);
    FitCaption(*button);
    return button;
}

} // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent)
    , cmdPaste(MakeButton(this, "cmdPaste", FromTwips(1680, 120, 3735, 255),
          QStringLiteral("COLLER le presse papier ET CONVERTIR"),
          { "Coller et convertir",
              "Remplace le texte à réparer par celui du presse-papiers, puis le convertit." }))
    , rtbSource(MakeBox(this, "rtbSource", FromTwips(120, 480, 6735, 735),
          QStringLiteral("Collez ici votre texte à convertir"),
          { "Texte à réparer",
              "Zone du haut : collez ou tapez ici le texte dont les accents sont abîmés." }))
    , CmdConvert(MakeButton(this, "CmdConvert", FromTwips(1680, 1320, 3735, 255),
          QStringLiteral("CONVERTIR"),
          { "Convertir",
              "Répare les accents du texte du haut et écrit le résultat dans la zone du bas." }))
    , rtbResult(MakeBox(this, "rtbResult", FromTwips(120, 1680, 6735, 3255),
          QStringLiteral("Votre texte sera converti ici."),
          { "Texte réparé", "Zone du bas : le texte aux accents réparés, prêt à être copié." }))
    , cmdCopy(MakeButton(this, "cmdCopy", FromTwips(1680, 5040, 3735, 255),
          QStringLiteral("COPIER le texte converti dans le presse papier"),
          { "Copier le texte converti",
              "Place le texte réparé dans le presse-papiers, en texte brut." }))
    , m_platform(std::make_unique<QtPlatform>(this, rtbSource, rtbResult))
    , m_commands(std::make_unique<MainCommands>(*m_platform))
    , m_closeWatch(std::make_unique<CloseRequestWatch>(*this, m_running, m_closeRequested))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("orvik - tq 11/2007"));
    setWindowIcon(QIcon(QPixmap(orvik_xpm)));
    setFixedSize(Pixels(kClientWidth), Pixels(kClientHeight));
    // A fixed frame: no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    setTabOrder(rtbResult, rtbSource);
    setTabOrder(rtbSource, CmdConvert);
    setTabOrder(CmdConvert, cmdCopy);
    setTabOrder(cmdCopy, cmdPaste);
    rtbResult->setFocus();

    connect(cmdPaste, &QPushButton::clicked, this, &frmMain::cmdPaste_Click);
    connect(CmdConvert, &QPushButton::clicked, this, &frmMain::CmdConvert_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmMain::cmdCopy_Click);
}

frmMain::~frmMain() = default;

void frmMain::Run(void (MainCommands::*handler)() noexcept)
{
    m_running = true;
    (m_commands.get()->*handler)();
    m_running = false;
    if (m_closeRequested)
        close();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A command waiting for the clipboard, or showing its message, is not cut short.
    if (m_running) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmMain::CmdConvert_Click()
{
    Run(&MainCommands::CmdConvert_Click);
}

void frmMain::cmdPaste_Click()
{
    Run(&MainCommands::cmdPaste_Click);
}

void frmMain::cmdCopy_Click()
{
    Run(&MainCommands::cmdCopy_Click);
}

} // namespace orvik

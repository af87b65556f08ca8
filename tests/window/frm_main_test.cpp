// The real window under Qt's offscreen platform: its geometry, captions, tab order and initial
// contents, the exact round trip of unusual characters through the boxes and the clipboard, and
// the buttons at work.
#include "orvik_version.h"
#include "platform/application_identity.h"
#include "platform/box_text.h"
#include "platform/french_translations.h"
#include "platform/qt_platform.h"
#include "window/frm_main.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <memory>

namespace {

// Code unit for code unit, independently of the conversions under test.
QString ToQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

std::u16string ToU16(const QString& text)
{
    return std::u16string(
        reinterpret_cast<const char16_t*>(text.constData()), std::size_t(text.size()));
}

constexpr int kTwipsPerPixel = 15;

// What a message box showed before it was closed.
struct SeenMessage
{
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Information;
    Qt::TextFormat format = Qt::AutoText;
    QStringList buttons;
};

// Watches for the next modal message box, records it and closes it, so that no test waits on one.
class MessageBoxCloser
{
public:
    MessageBoxCloser()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen.shown = true;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.format = box->textFormat();
            for (QAbstractButton* button : box->buttons())
                seen.buttons << button->text();
            box->done(0);
        });
        m_timer.start(10);
    }

    SeenMessage seen;

private:
    QTimer m_timer;
};

QString Text(const QTextEdit* box)
{
    return ToQString(orvik::ReadBoxText(*box));
}

} // namespace

class FrmMainTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowHasItsTitleAndFixedSize();
    void controlsStandAtTheirPlaces_data();
    void controlsStandAtTheirPlaces();
    void captionsAreExactAndFitTheirButtons_data();
    void captionsAreExactAndFitTheirButtons();
    void focusStartsInTheResultAndTabCycles();
    void boxesOpenWithTheirSentences();
    void boxesGiveBackEveryCodeUnit_data();
    void boxesGiveBackEveryCodeUnit();
    void clipboardGivesBackEveryCodeUnit_data();
    void clipboardGivesBackEveryCodeUnit();
    void pasteConvertAndCopyThroughTheButtons();
    void convertDropsTheSourceFormatting();
    void pasteOfAnImageOnlyRefusesWithTheMessage();
    void messageBoxHasTitlePromptAndOneOkButton();
    void busyCursorShowsWhileConverting();
    void qtSpeaksFrench();
    void screenReadersTellTheControlsApart();
    void windowAndDesktopShareIconAndIdentity();

private:
    template <typename T> T* Control(const char* name)
    {
        T* control = m_window->findChild<T*>(QLatin1StringView(name));
        if (!control)
            qFatal("no control named %s", name);
        return control;
    }

    std::unique_ptr<orvik::frmMain> m_window;
};

void FrmMainTest::initTestCase()
{
    QVERIFY(orvik::InstallFrenchTranslations(*qApp));
}

void FrmMainTest::init()
{
    QGuiApplication::clipboard()->clear();
    m_window = std::make_unique<orvik::frmMain>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void FrmMainTest::cleanup()
{
    m_window.reset();
}

void FrmMainTest::windowHasItsTitleAndFixedSize()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("orvik - tq 11/2007"));
    // The client area: 6975 x 5340 twips.
    QCOMPARE(m_window->size(), QSize(465, 356));
    QCOMPARE(m_window->minimumSize(), QSize(465, 356));
    QCOMPARE(m_window->maximumSize(), QSize(465, 356));
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
}

void FrmMainTest::controlsStandAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("cmdPaste") << "cmdPaste" << QRect(1680, 120, 3735, 255);
    QTest::newRow("rtbSource") << "rtbSource" << QRect(120, 480, 6735, 735);
    QTest::newRow("CmdConvert") << "CmdConvert" << QRect(1680, 1320, 3735, 255);
    QTest::newRow("rtbResult") << "rtbResult" << QRect(120, 1680, 6735, 3255);
    QTest::newRow("cmdCopy") << "cmdCopy" << QRect(1680, 5040, 3735, 255);
}

void FrmMainTest::controlsStandAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    auto* control = m_window->findChild<QWidget*>(name);
    QVERIFY(control);
    const QRect pixels(twips.x() / kTwipsPerPixel, twips.y() / kTwipsPerPixel,
        twips.width() / kTwipsPerPixel, twips.height() / kTwipsPerPixel);
    QCOMPARE(control->geometry(), pixels);
    QVERIFY(control->isVisible());
    QVERIFY(control->isEnabled());
}

void FrmMainTest::captionsAreExactAndFitTheirButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("cmdPaste") << "cmdPaste"
                              << "COLLER le presse papier ET CONVERTIR";
    QTest::newRow("CmdConvert") << "CmdConvert"
                                << "CONVERTIR";
    QTest::newRow("cmdCopy") << "cmdCopy"
                             << "COPIER le texte converti dans le presse papier";
}

void FrmMainTest::captionsAreExactAndFitTheirButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    auto* button = m_window->findChild<QPushButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());

    // The whole caption, at the font the button draws it in, inside the room its style leaves.
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = caption;
    const QRect room
        = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QFontMetrics metrics(button->font());
    QVERIFY2(metrics.horizontalAdvance(caption) <= room.width(),
        qPrintable(QStringLiteral("%1 px wide in %2")
                       .arg(metrics.horizontalAdvance(caption))
                       .arg(room.width())));
    QVERIFY2(metrics.height() <= room.height(),
        qPrintable(QStringLiteral("%1 px high in %2").arg(metrics.height()).arg(room.height())));
    // Never larger than the platform's own button font.
    const QFont standard = QApplication::font(button);
    if (standard.pointSizeF() > 0)
        QVERIFY(button->font().pointSizeF() <= standard.pointSizeF());
}

void FrmMainTest::focusStartsInTheResultAndTabCycles()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), Control<QWidget>("rtbResult"));

    const char* const order[] = { "rtbSource", "CmdConvert", "cmdCopy", "cmdPaste", "rtbResult" };
    for (const char* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
    }
    // Tab moves on without leaving a tab character in a box.
    QCOMPARE(Text(Control<QTextEdit>("rtbSource")),
        QStringLiteral("Collez ici votre texte à convertir"));
}

void FrmMainTest::boxesOpenWithTheirSentences()
{
    QCOMPARE(Text(Control<QTextEdit>("rtbSource")),
        QStringLiteral("Collez ici votre texte à convertir"));
    QCOMPARE(
        Text(Control<QTextEdit>("rtbResult")), QStringLiteral("Votre texte sera converti ici."));
    // The sentences are in the boxes' font, as later text is.
    for (const char* name : { "rtbSource", "rtbResult" }) {
        auto* box = Control<QTextEdit>(name);
        QCOMPARE(QTextCursor(box->document()).charFormat().font().pointSizeF(), 8.5);
        QVERIFY(!box->isReadOnly());
    }
}

// Each row: what is written, and what a box gives back. Only the line breaks change: a text
// document holds LF, CR, CR LF, U+2029, U+FDD0 and U+FDD1 alike as a paragraph break.
void FrmMainTest::boxesGiveBackEveryCodeUnit_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("read");
    const auto row = [](const char* name, std::u16string_view written, std::u16string_view read) {
        QTest::newRow(name) << ToQString(written) << ToQString(read);
    };
    const auto same = [&row](const char* name, std::u16string_view text) { row(name, text, text); };
    same("no-break space", u"a\u00A0b\u00A0");
    same("narrow no-break space", u"Oui\u202F!");
    same("line separator", u"a\u2028b");
    same("tabs", u"\ta\t\tb\t");
    same("combining accent", u"e\u0301te\u0301");
    same("emoji", u"\U0001F600 \U0001F1EB\U0001F1F7");
    same("byte-order mark first", u"\uFEFFa");
    same("lone high surrogate",
        u"a\xD800"
        u"b");
    same("lone low surrogate", u"a\xDC00");
    same("object replacement character", u"\uFFFC");
    same("damaged text", u"Ã©tÃ© Ã\u00A0");
    same("empty", u"");
    same("LF", u"a\nb\n");
    same("only line breaks", u"\n\n");
    row("NUL", std::u16string_view(u"a\0b", 3), std::u16string_view(u"a\0b", 3));
    row("CR LF", u"a\r\nb\r\n", u"a\nb\n");
    row("CR", u"a\rb", u"a\nb");
    row("paragraph separator", u"a\u2029b", u"a\nb");
    row("frame markers", u"\uFDD0a\uFDD1", u"\na\n");
}

void FrmMainTest::boxesGiveBackEveryCodeUnit()
{
    QFETCH(QString, written);
    QFETCH(QString, read);
    orvik::QtPlatform platform(
        m_window.get(), Control<QTextEdit>("rtbSource"), Control<QTextEdit>("rtbResult"));
    for (const orvik::Box box : { orvik::Box::Source, orvik::Box::Result }) {
        platform.SetBoxText(box, ToU16(written));
        QCOMPARE(ToQString(platform.BoxText(box)), read);
    }
}

void FrmMainTest::clipboardGivesBackEveryCodeUnit_data()
{
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, std::u16string_view text) {
        QTest::newRow(name) << ToQString(text);
    };
    row("no-break spaces", u"a\u00A0b\u202F!");
    row("byte-order mark first", u"\uFEFFa");
    row("line breaks of every kind", u"a\r\nb\rc\nd\u2028e\u2029");
    row("lone surrogates",
        u"\xDC00"
        u"a\xD800");
    row("NUL", std::u16string_view(u"a\0b", 3));
    row("emoji and combining accent", u"\U0001F600e\u0301");
    row("empty", u"");
}

void FrmMainTest::clipboardGivesBackEveryCodeUnit()
{
    QFETCH(QString, text);
    orvik::QtPlatform platform(
        m_window.get(), Control<QTextEdit>("rtbSource"), Control<QTextEdit>("rtbResult"));
    platform.ClearClipboard();
    platform.SetClipboardText(ToU16(text));
    QCOMPARE(ToQString(platform.ClipboardText()), text);
}

void FrmMainTest::pasteConvertAndCopyThroughTheButtons()
{
    const QString damaged = ToQString(u"L'Ã©tÃ©,\r\nÃ\u00A0 Noël\u202F: cafÃ© \U0001F600\t!");
    const QString pasted = ToQString(u"L'Ã©tÃ©,\nÃ\u00A0 Noël\u202F: cafÃ© \U0001F600\t!");
    const QString repaired = ToQString(u"L'été,\nà\u00A0 Noël\u202F: café \U0001F600\t!");
    QGuiApplication::clipboard()->setText(damaged);

    QTest::mouseClick(Control<QPushButton>("cmdPaste"), Qt::LeftButton);
    QCOMPARE(Text(Control<QTextEdit>("rtbSource")), pasted);
    QCOMPARE(Text(Control<QTextEdit>("rtbResult")), repaired);

    auto* other = new QMimeData;
    other->setImageData(QImage(2, 2, QImage::Format_RGB32));
    other->setText(QStringLiteral("ancien"));
    QGuiApplication::clipboard()->setMimeData(other);
    QTest::mouseClick(Control<QPushButton>("cmdCopy"), Qt::LeftButton);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied);
    QCOMPARE(copied->text(), repaired);
    QVERIFY(!copied->hasImage());
    QVERIFY(!copied->hasHtml());
}

void FrmMainTest::convertDropsTheSourceFormatting()
{
    auto* source = Control<QTextEdit>("rtbSource");
    auto* result = Control<QTextEdit>("rtbResult");
    source->setHtml(QStringLiteral("<p><b>Ã©tÃ©</b></p><p><i>chaud</i></p>"));
    QTest::mouseClick(Control<QPushButton>("CmdConvert"), Qt::LeftButton);
    QCOMPARE(Text(result), QStringLiteral("été\nchaud"));
    QTextCursor cursor(result->document());
    cursor.movePosition(QTextCursor::NextCharacter);
    QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Normal));
    cursor.movePosition(QTextCursor::End);
    QVERIFY(!cursor.charFormat().fontItalic());
}

void FrmMainTest::pasteOfAnImageOnlyRefusesWithTheMessage()
{
    QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
    MessageBoxCloser closer;
    QTest::mouseClick(Control<QPushButton>("cmdPaste"), Qt::LeftButton);
    QVERIFY(closer.seen.shown);
    QCOMPARE(closer.seen.title, QStringLiteral("Orvik : conversion"));
    QCOMPARE(closer.seen.text, QStringLiteral("Il n'y a rien à convertir."));
    QCOMPARE(Text(Control<QTextEdit>("rtbSource")), QString());
    QCOMPARE(
        Text(Control<QTextEdit>("rtbResult")), QStringLiteral("Votre texte sera converti ici."));
}

void FrmMainTest::messageBoxHasTitlePromptAndOneOkButton()
{
    orvik::QtPlatform platform(
        m_window.get(), Control<QTextEdit>("rtbSource"), Control<QTextEdit>("rtbResult"));
    MessageBoxCloser closer;
    platform.ShowMessage(
        u"Petite erreur, veuillez réessayer, merci\n\n<b>pas du gras</b>", u"orvik : erreur");
    QVERIFY(closer.seen.shown);
    QCOMPARE(closer.seen.title, QStringLiteral("orvik : erreur"));
    QCOMPARE(closer.seen.text,
        QStringLiteral("Petite erreur, veuillez réessayer, merci\n\n<b>pas du gras</b>"));
    QCOMPARE(closer.seen.format, Qt::PlainText);
    QCOMPARE(closer.seen.icon, QMessageBox::NoIcon);
    QCOMPARE(closer.seen.buttons.size(), 1);
}

void FrmMainTest::busyCursorShowsWhileConverting()
{
    auto* result = Control<QTextEdit>("rtbResult");
    QList<Qt::CursorShape> shapes;
    connect(result, &QTextEdit::textChanged, this, [&shapes] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        shapes << (cursor ? cursor->shape() : Qt::ArrowCursor);
    });
    QTest::mouseClick(Control<QPushButton>("CmdConvert"), Qt::LeftButton);
    QVERIFY(!shapes.isEmpty());
    for (Qt::CursorShape shape : shapes)
        QCOMPARE(shape, Qt::WaitCursor);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void FrmMainTest::qtSpeaksFrench()
{
    // The boxes' own context menu, as the user would open it.
    std::unique_ptr<QMenu> menu(Control<QTextEdit>("rtbSource")->createStandardContextMenu());
    QStringList actions;
    for (QAction* action : menu->actions())
        actions << action->text().section(u'\t', 0, 0); // without the shortcut
    QVERIFY2(actions.contains(QStringLiteral("Co&ller")), qPrintable(actions.join(u'|')));
    QVERIFY2(actions.contains(QStringLiteral("Tout sélectionner")), qPrintable(actions.join(u'|')));
}

void FrmMainTest::screenReadersTellTheControlsApart()
{
    // What a screen reader announces, as the accessibility layer hands it over.
    const std::pair<const char*, const char*> expected[] = {
        { "rtbSource", "Texte à réparer" },
        { "rtbResult", "Texte réparé" },
        { "cmdPaste", "Coller et convertir" },
        { "CmdConvert", "Convertir" },
        { "cmdCopy", "Copier le texte converti" },
    };
    QSet<QString> descriptions;
    for (const auto& [name, spoken] : expected) {
        QAccessibleInterface* accessible
            = QAccessible::queryAccessibleInterface(Control<QWidget>(name));
        QVERIFY2(accessible, name);
        QCOMPARE(accessible->text(QAccessible::Name), QString::fromUtf8(spoken));
        const QString description = accessible->text(QAccessible::Description);
        QVERIFY2(description.size() > 20, name);
        descriptions.insert(description);
    }
    QCOMPARE(descriptions.size(), qsizetype(std::size(expected)));
}

void FrmMainTest::windowAndDesktopShareIconAndIdentity()
{
    const QIcon icon = m_window->windowIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    // The window shows the very pixels the desktop entry's icon has.
    const QImage shown = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage installed
        = QImage(QStringLiteral(ORVIK_ICON_PNG)).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown, installed);

    // The version Qt reports is the one the metainfo file announces, and the desktop file name
    // names the desktop entry that is installed.
    orvik::SetApplicationIdentity();
    QFile metainfo(QStringLiteral(ORVIK_METAINFO_FILE));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(metainfo.readAll());
    QVERIFY2(
        content.contains(
            QStringLiteral("<release version=\"%1\"").arg(QCoreApplication::applicationVersion())),
        qPrintable(QCoreApplication::applicationVersion()));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00.0003"));
    QVERIFY(QFile::exists(QStringLiteral(ORVIK_DESKTOP_FILE)));
    QCOMPARE(QGuiApplication::desktopFileName() + QStringLiteral(".desktop"),
        QFileInfo(QStringLiteral(ORVIK_DESKTOP_FILE)).fileName());
}

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"

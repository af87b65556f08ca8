// SPDX-License-Identifier: MIT
// The real window under Qt's offscreen platform: its geometry, captions, accessible names, tab
// order and opening contents, the exact round trip of unusual characters through the boxes and the
// clipboard, and the buttons at work.
#include "gui/qt/frm_main.h"
#include "gui/qt/qt_desktop.h"
#include "gui/qt/startup.h"
#include "gui/qt/text_box.h"
#include "window/box_text_limit.h"
#include "window/desktop_error.h"
#include "window/frm_main_description.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextList>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::string_view_literals;

class FrmMainTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<orvik::frmMain> m_window;

    template <typename T = QWidget> T* Control(const char* name)
    {
        T* control = m_window->findChild<T*>(QLatin1StringView(name));
        if (!control)
            qFatal("no control named %s", name);
        return control;
    }
    QString Text(const char* box)
    {
        return QStringView(Control<orvik::TextBox>(box)->Text()).toString();
    }
private slots:
    void initTestCase() { QVERIFY(orvik::InstallFrenchTranslations(*qApp)); }
    void init()
    {
        m_window = std::make_unique<orvik::frmMain>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    // The title is what the clipboard owners' tests find the window by.
    void opensFixedWithItsTabOrderInFrench()
    {
        // The client area, 6975 x 5340 twips, can be neither resized nor maximised.
        QCOMPARE(m_window->minimumSize(), QSize(465, 356));
        QCOMPARE(m_window->maximumSize(), QSize(465, 356));
        QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));

        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(QApplication::focusWidget(), Control("rtbResult"));
        for (const char* next : { "rtbSource", "CmdConvert", "cmdCopy", "cmdPaste", "rtbResult" }) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), Control(next));
        }
        // Enter clicks the focused button: the source box's text converted.
        Control("CmdConvert")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(Text("rtbResult"), u"Collez ici votre texte à convertir"_s);
        // The boxes' own context menu, as the user would open it.
        std::unique_ptr<QMenu> menu(Control<QTextEdit>("rtbSource")->createStandardContextMenu());
        QStringList actions;
        for (QAction* action : menu->actions())
            actions << action->text().section(u'\t', 0, 0); // without the shortcut
        QVERIFY2(actions.contains(u"Co&ller"_s) && actions.contains(u"Tout sélectionner"_s),
            qPrintable(actions.join(u'|')));
    }

    // Every control stands where the description puts it, says what it names, and every caption
    // is whole in the font its button draws it in, inside the room its style leaves, whatever the
    // desktop's font size.
    void controlsStandWhereDescribed_data()
    {
        QTest::addColumn<qreal>("points");
        QTest::newRow("11 pt") << 11.0;
        QTest::newRow("14 pt") << 14.0;
    }
    void controlsStandWhereDescribed()
    {
        QFETCH(qreal, points);
        const QFont before = QApplication::font();
        QFont font = before;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        orvik::frmMain window;
        QApplication::setFont(before);
        const auto pixels = [](int twips) { return orvik::TwipsToPixels(twips, 96); };
        for (const orvik::ControlDescription& described : orvik::kMainWindow.controls) {
            auto* control = window.findChild<QWidget*>(QLatin1StringView(described.name.data()));
            const orvik::Twips& at = described.place;
            QCOMPARE(control->geometry(),
                QRect(pixels(at.left), pixels(at.top), pixels(at.width), pixels(at.height)));
            QVERIFY(!control->isHidden() && control->isEnabled());
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY(accessible);
            QCOMPARE(accessible->text(QAccessible::Name), QStringView(described.spokenName));
            QCOMPARE(accessible->text(QAccessible::Description),
                QStringView(described.spokenDescription));

            auto* button = qobject_cast<QPushButton*>(control);
            QCOMPARE(button != nullptr, described.kind == orvik::ControlKind::Button);
            if (!button)
                continue;
            QCOMPARE(button->text(), QStringView(described.text));
            QVERIFY(!button->isDefault() && !button->autoDefault());
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room
                = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const QFontMetrics metrics(button->font());
            QVERIFY(metrics.horizontalAdvance(button->text()) <= room.width());
            QVERIFY(metrics.height() <= room.height());
        }
    }

    // What is written, and what a box gives back: a text document holds LF, CR, CR LF, U+2029,
    // U+FDD0 and U+FDD1 alike as a paragraph break, which the box reads as LF. The clipboard gives
    // back exactly what was written. QStringView and toStdU16String copy code unit for code unit,
    // a leading U+FEFF included.
    void boxesAndClipboardGiveBackEveryCodeUnit_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("boxed");
        const auto row = [](const char* name, std::u16string_view written,
                             std::u16string_view boxed) {
            QTest::newRow(name) << QStringView(written).toString() << QStringView(boxed).toString();
        };
        // A leading byte-order mark, lone surrogates, spaces and separators plain text could
        // change, NUL, an emoji, a combining accent and the object replacement character.
        row("unusual code units",
            u"\uFEFF\xDC00"
            u"a\xD800\ta\u00A0b\u202F!\u2028c\t\0\U0001F600 e\u0301\uFFFC"sv,
            u"\uFEFF\xDC00"
            u"a\xD800\ta\u00A0b\u202F!\u2028c\t\0\U0001F600 e\u0301\uFFFC"sv);
        row("empty", u"", u"");
        row("every line break", u"\n\na\r\nb\rc\u2029d\uFDD0e\uFDD1", u"\n\na\nb\nc\nd\ne\n");
    }
    void boxesAndClipboardGiveBackEveryCodeUnit()
    {
        QFETCH(QString, written);
        QFETCH(QString, boxed);
        orvik::QtDesktop desktop(m_window.get(), Control<orvik::TextBox>("rtbSource"),
            Control<orvik::TextBox>("rtbResult"));
        for (const orvik::Box box : { orvik::Box::Source, orvik::Box::Result }) {
            desktop.SetBoxText(box, written.toStdU16String());
            QCOMPARE(QStringView(desktop.BoxText(box)).toString(), boxed);
        }
        desktop.SetClipboardText(written.toStdU16String());
        QCOMPARE(QStringView(desktop.ClipboardText()).toString(), written);
    }

    // A text document counts its positions in an int and needs one for its final block.
    void boxTextLengthLimit()
    {
        QVERIFY_THROWS_NO_EXCEPTION(orvik::CheckBoxTextLength(std::size_t(INT_MAX) - 1));
        QVERIFY_THROWS_EXCEPTION(
            orvik::DesktopError, orvik::CheckBoxTextLength(std::size_t(INT_MAX)));
    }

    void convertAndCopyThroughTheButtons()
    {
        // Rich text in the source, and the caret in bold in a table and a list in the result.
        Control<QTextEdit>("rtbSource")->setHtml(u"<p><b>Ã©tÃ©</b></p><p><i>chaud</i></p>"_s);
        auto* result = Control<QTextEdit>("rtbResult");
        result->setHtml(u"<ul><li><b>gras</b></li></ul><table><tr><td>case</td></tr></table>"_s);
        result->moveCursor(QTextCursor::End);
        // The busy cursor shows while the result is written, and is gone afterwards.
        QList<Qt::CursorShape> shapes;
        connect(result, &QTextEdit::textChanged, this, [&shapes] {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            shapes << (cursor ? cursor->shape() : Qt::ArrowCursor);
        });
        QTest::mouseClick(Control<QPushButton>("CmdConvert"), Qt::LeftButton);
        QCOMPARE(shapes, QList<Qt::CursorShape>({ Qt::WaitCursor }));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        // Plain text, in the box's own font.
        QCOMPARE(Text("rtbResult"), u"été\nchaud"_s);
        QTextCursor cursor(result->document());
        cursor.movePosition(QTextCursor::NextCharacter);
        QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Normal));
        QCOMPARE(cursor.charFormat().font().pointSizeF(), 8.5);
        QCOMPARE(cursor.currentList(), nullptr);
        QCOMPARE(result->document()->rootFrame()->childFrames().size(), 0);

        // Copying replaces whatever the clipboard held, an image included, with the text alone.
        auto* other = new QMimeData;
        other->setImageData(QImage(2, 2, QImage::Format_RGB32));
        other->setText(u"ancien"_s);
        QGuiApplication::clipboard()->setMimeData(other);
        QTest::mouseClick(Control<QPushButton>("cmdCopy"), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->text(), u"été\nchaud"_s);
        QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasImage());
    }

    // A replacement of up to 256 Ki characters is one edit that one Ctrl+Z undoes.
    void longReplacementIsUndone()
    {
        const QString line = u"Ã©tÃ© prÃ¨s du chÃ¢teau\n"_s;
        Control<orvik::TextBox>("rtbSource")->ReplaceText(line.repeated(10000).toStdU16String());
        Control<QTextEdit>("rtbSource")->setFocus();
        QTest::keyClick(Control("rtbSource"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text("rtbSource"), u"Collez ici votre texte à convertir"_s);
    }

    // Where the toolkit's own clipboard is read (Qt's path, the one a Wayland session takes), an
    // offer of HTML alone is pasted as its plain text, not as markup, a line break as LF.
    void htmlAloneIsPastedAsPlainText()
    {
        auto* html = new QMimeData;
        html->setHtml(u"<p>Ã©tÃ© <b>chaud</b><br>prÃ¨s</p>"_s);
        QGuiApplication::clipboard()->setMimeData(html);
        QTest::mouseClick(Control<QPushButton>("cmdPaste"), Qt::LeftButton);
        QCOMPARE(Text("rtbSource"), u"Ã©tÃ© chaud\nprÃ¨s"_s);
        QCOMPARE(Text("rtbResult"), u"été chaud\nprès"_s);
    }

    // A file dropped on a box or on the window is opened, not inserted as its name, even one
    // named in Latin-1 as old files are; a folder is refused with a message.
    void droppedFileIsReadAndConverted()
    {
        QTemporaryDir folder;
        const QByteArray name = QFile::encodeName(folder.path()) + "/lettre d'\xE9t\xE9.txt";
        std::FILE* file = std::fopen(name.constData(), "wb");
        QVERIFY(file);
        std::fputs("\xEF\xBB\xBFL'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9", file);
        std::fclose(file);
        // Each message box closed once it shows, noting its title, its text, and whether it is
        // plain: no icon, plain text, one button, and wide enough for its title in bold beside a
        // window manager's icon and buttons.
        QStringList seen;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&seen] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                QFont bold = box->font();
                bold.setBold(true);
                const QFontMetrics title(bold);
                const bool plain = box->icon() == QMessageBox::NoIcon
                    && box->textFormat() == Qt::PlainText && box->buttons().size() == 1
                    && box->width()
                        >= title.horizontalAdvance(box->windowTitle()) + 5 * title.height();
                seen << box->windowTitle() << box->text() << (plain ? u"plain"_s : u"dressed"_s);
                box->done(0);
            }
        });
        closer.start(10);
        const auto drop = [](QWidget* target, const QByteArray& path) {
            QMimeData data;
            data.setUrls({ QUrl::fromEncoded("file://" + path.toPercentEncoding("/")) });
            // As the windowing system delivers one: entering, then the drop.
            QDragEnterEvent enter(
                QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &event);
        };
        drop(Control<QTextEdit>("rtbSource")->viewport(), name);
        QCOMPARE(Text("rtbSource"), u"L'Ã©tÃ©"_s);
        QCOMPARE(Text("rtbResult"), u"L'été"_s);
        drop(m_window.get(), QFile::encodeName(folder.path()));
        QCOMPARE(seen,
            QStringList({ u"orvik : erreur"_s,
                u"Petite erreur, veuillez réessayer, merci\n\nLe fichier « "_s + folder.path()
                    + u" » est un dossier : déposez plutôt un fichier texte."_s,
                u"plain"_s }));
        QCOMPARE(Text("rtbSource"), u"L'Ã©tÃ©"_s);
    }

    void windowAndDesktopShareIconAndIdentity()
    {
        // The window, the desktop entry's PNG and the Windows icon (at the sizes Windows draws, its
        // 32 x 32 entry) show the pixels of the XPM source.
        const auto pixels
            = [](const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); };
        const QImage source = pixels(QImage(ORVIK_RESOURCES_DIR "/orvik.xpm"_L1));
        QCOMPARE(pixels(m_window->windowIcon().pixmap(32, 32).toImage()), source);
        QCOMPARE(pixels(QImage(ORVIK_RESOURCES_DIR "/orvik.png"_L1)), source);
        QImageReader ico(ORVIK_RESOURCES_DIR "/orvik.ico"_L1);
        QList<int> sizes;
        for (int i = 0; i < ico.imageCount() && ico.jumpToImage(i); ++i) {
            const QImage image = pixels(ico.read());
            sizes << image.width();
            if (image.width() == 32)
                QCOMPARE(image, source);
        }
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, QList<int>({ 16, 24, 32, 48, 256 }));
        // Qt announces the metainfo file's version and the installed desktop entry's name.
        orvik::SetApplicationIdentity();
        QFile metainfo(QStringLiteral(ORVIK_METAINFO_FILE));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        const QString version = QCoreApplication::applicationVersion();
        QVERIFY2(!version.isEmpty()
                && QString::fromUtf8(metainfo.readAll())
                       .contains(u"<release version=\""_s + version),
            qPrintable(version));
        QVERIFY(QStringLiteral(ORVIK_DESKTOP_FILE)
                    .endsWith(u'/' + QGuiApplication::desktopFileName() + u".desktop"_s));
    }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"

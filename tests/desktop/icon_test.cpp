// The icon: one 32 x 32 image in at most 16 colours, and the PNG and ICO derived from the XPM
// source still show exactly its pixels.
#include <QImage>
#include <QSet>
#include <QTest>

class IconTest : public QObject
{
    Q_OBJECT

private slots:
    void derivedFilesMatchTheSource_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("source xpm") << QStringLiteral("orvik.xpm");
        QTest::newRow("desktop png") << QStringLiteral("orvik.png");
        QTest::newRow("windows ico") << QStringLiteral("orvik.ico");
    }

    void derivedFilesMatchTheSource()
    {
        QFETCH(QString, file);
        const QString folder = QStringLiteral(ORVIK_RESOURCES_DIR "/");
        const QImage image(folder + file);
        QVERIFY2(!image.isNull(), qPrintable("cannot read " + file));
        QCOMPARE(image.size(), QSize(32, 32));

        QSet<QRgb> colours;
        const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < pixels.height(); ++y) {
            for (int x = 0; x < pixels.width(); ++x) {
                const QRgb pixel = pixels.pixel(x, y);
                // Every fully transparent pixel is the same colour, whatever its RGB.
                colours.insert(qAlpha(pixel) == 0 ? 0 : pixel);
            }
        }
        QVERIFY2(colours.size() <= 16, qPrintable(QString::number(colours.size()) + " colours"));

        const QImage source
            = QImage(folder + QStringLiteral("orvik.xpm")).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb a = pixels.pixel(x, y);
                const QRgb b = source.pixel(x, y);
                if (qAlpha(a) == 0 && qAlpha(b) == 0)
                    continue;
                QVERIFY2(a == b, qPrintable(QStringLiteral("pixel %1,%2 differs").arg(x).arg(y)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(IconTest)
#include "icon_test.moc"

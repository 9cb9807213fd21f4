// The skin and the button faces are committed, generated files built into the program. These
// tests read them back through the resource system the window uses, check the colours the
// window logic depends on (where the live picture, the frames and the label sit), and check
// that the committed files are exactly what the generator makes today.

#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

QImage LoadBitmap(int id) {
    return QImage(QStringLiteral(":/bitmaps/%1.bmp").arg(id));
}

QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}
QRgb Grey(int v) {
    return qRgb(v, v, v);
}

::testing::AssertionResult PixelIs(const QImage& image, int x, int y, QRgb expected) {
    const QRgb actual = image.pixel(x, y) | 0xff000000u;
    if (actual == (expected | 0xff000000u)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is " << QColor(actual).name().toStdString()
           << ", expected " << QColor(expected).name().toStdString();
}

struct BitmapSize {
    int id, width, height;
};
constexpr std::array<BitmapSize, 11> kBitmaps{{{129, 640, 595},
                                               {130, 40, 30},
                                               {131, 40, 30},
                                               {132, 40, 30},
                                               {133, 40, 30},
                                               {134, 86, 30},
                                               {135, 86, 30},
                                               {136, 40, 30},
                                               {137, 40, 30},
                                               {154, 40, 30},
                                               {172, 90, 70}}};

TEST(SkinResources, EveryBitmapLoadsAsAnIndexedPictureOfItsSize) {
    for (const BitmapSize& expected : kBitmaps) {
        const QImage image = LoadBitmap(expected.id);
        ASSERT_FALSE(image.isNull()) << "bitmap " << expected.id;
        EXPECT_EQ(image.size(), QSize(expected.width, expected.height)) << "bitmap " << expected.id;
        EXPECT_EQ(image.format(), QImage::Format_Indexed8) << "bitmap " << expected.id;
    }
}

TEST(SkinResources, WindowIconIsASquareCameraOnATransparentGround) {
    const QImage icon(QStringLiteral(":/icons/128.png"));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.width(), icon.height());
    EXPECT_TRUE(icon.hasAlphaChannel());
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(icon.width() / 2, icon.height() / 2)), 255);
}

TEST(SkinBitmap, LivePictureAreaIsFlatGreyAndButtonBandWhiteOutsideTheLogo) {
    const QImage skin = LoadBitmap(129);
    for (int y = 0; y <= 478; y += 13) {
        for (int x = 0; x < 640; x += 37) {
            ASSERT_TRUE(PixelIs(skin, x, y, Grey(99)));
        }
    }
    EXPECT_TRUE(PixelIs(skin, 639, 478, Grey(99)));
    for (int y = 479; y <= 515; ++y) {
        for (int x = 0; x < 640; ++x) {
            const bool inLogo = x >= 568 && x <= 637 && y >= 489 && y <= 507;
            if (!inLogo) {
                ASSERT_TRUE(PixelIs(skin, x, y, Grey(255)));
            }
        }
    }
}

TEST(SkinBitmap, LogoIsInkedInItsOwnColourInsideItsBox) {
    const QImage skin = LoadBitmap(129);
    int inked = 0;
    for (int y = 489; y <= 507; ++y) {
        for (int x = 568; x <= 637; ++x) {
            inked += (skin.pixel(x, y) | 0xff000000u) == Rgb(6, 71, 105);
        }
    }
    EXPECT_GT(inked, 100);
}

TEST(SkinBitmap, StripPanelHasItsInnerShadow) {
    const QImage skin = LoadBitmap(129);
    const int shadow[] = {45, 44, 68, 73, 78, 83, 87, 90, 93, 96, 97};
    for (int k = 0; k < 11; ++k) {
        EXPECT_TRUE(PixelIs(skin, 300, 516 + k, Grey(shadow[k])));  // down from the top edge
        EXPECT_TRUE(PixelIs(skin, 2 + k, 560, Grey(shadow[k])));    // right from the left edge
    }
    EXPECT_TRUE(PixelIs(skin, 300, 527, Grey(99)));
    EXPECT_TRUE(PixelIs(skin, 13, 560, Grey(99)));
    for (const int y : {516, 560, 594}) {
        EXPECT_TRUE(PixelIs(skin, 0, y, Rgb(37, 67, 148)));
        EXPECT_TRUE(PixelIs(skin, 1, y, Rgb(72, 72, 73)));
    }
    EXPECT_TRUE(PixelIs(skin, 637, 560, Grey(97)));
    EXPECT_TRUE(PixelIs(skin, 638, 560, Grey(96)));
    EXPECT_TRUE(PixelIs(skin, 639, 560, Grey(93)));
    EXPECT_TRUE(PixelIs(skin, 636, 594, Grey(99)));
}

struct FaceColours {
    QRgb border, upperTop, upperBottom, lowerTop, lowerBottom;
};
const FaceColours kNormal{Rgb(52, 102, 127), Rgb(169, 191, 211), Rgb(192, 211, 224),
                          Rgb(100, 147, 179), Rgb(199, 233, 237)};
const FaceColours kHover{Rgb(0, 203, 233), Rgb(166, 202, 220), Rgb(183, 220, 233),
                         Rgb(55, 160, 196), Rgb(131, 240, 253)};

void ExpectFaceFrame(int id, const FaceColours& colours) {
    SCOPED_TRACE(::testing::Message() << "bitmap " << id);
    const QImage face = LoadBitmap(id);
    ASSERT_FALSE(face.isNull());
    const int right = face.width() - 1;
    for (int x = 0; x <= right; ++x) {
        ASSERT_TRUE(PixelIs(face, x, 0, colours.border));
        ASSERT_TRUE(PixelIs(face, x, 29, colours.border));
    }
    for (int y = 0; y < 30; ++y) {
        ASSERT_TRUE(PixelIs(face, 0, y, colours.border));
        ASSERT_TRUE(PixelIs(face, right, y, colours.border));
    }
    // Column 1 is never covered by an icon: it shows the bare gradients.
    EXPECT_TRUE(PixelIs(face, 1, 1, colours.upperTop));
    EXPECT_TRUE(PixelIs(face, 1, 12, colours.upperBottom));
    EXPECT_TRUE(PixelIs(face, 1, 13, colours.lowerTop));
    EXPECT_TRUE(PixelIs(face, 1, 28, colours.lowerBottom));
}

TEST(ButtonFaces, NormalAndHoverFacesHaveTheirBorderAndGradientEnds) {
    for (const int id : {130, 132, 134, 136, 154}) {
        ExpectFaceFrame(id, kNormal);
    }
    for (const int id : {131, 133, 135, 137}) {
        ExpectFaceFrame(id, kHover);
    }
}

TEST(ButtonFaces, ResolutionFacesCarryTheDividerAndTheMenuTriangle) {
    for (const int id : {134, 135}) {
        SCOPED_TRACE(::testing::Message() << "bitmap " << id);
        const QImage face = LoadBitmap(id);
        const QRgb navy = Rgb(0, 21, 91);
        for (int y = 1; y <= 28; ++y) {
            ASSERT_TRUE(PixelIs(face, 71, y, Rgb(49, 180, 246)));
        }
        const int halfWidth[] = {3, 2, 1, 0};
        for (int row = 0; row < 4; ++row) {
            for (int x = 72; x < 85; ++x) {
                const bool inside = std::abs(x - 77) <= halfWidth[row];
                EXPECT_EQ((face.pixel(x, 12 + row) | 0xff000000u) == navy, inside)
                    << "x " << x << ", row " << 12 + row;
            }
        }
        for (int x = 72; x < 85; ++x) {
            EXPECT_NE(face.pixel(x, 11) | 0xff000000u, navy);
            EXPECT_NE(face.pixel(x, 16) | 0xff000000u, navy);
        }
    }
}

int DarkestGrey(const QImage& face) {
    int darkest = 255;
    for (int y = 1; y < face.height() - 1; ++y) {
        for (int x = 1; x < face.width() - 1; ++x) {
            darkest = std::min(darkest, qGray(face.pixel(x, y)));
        }
    }
    return darkest;
}

TEST(ButtonFaces, DisabledBinIsPalerThanTheEnabledOne) {
    const QImage enabled = LoadBitmap(132);
    const QImage disabled = LoadBitmap(154);
    EXPECT_LT(DarkestGrey(enabled), DarkestGrey(disabled));
    EXPECT_NE(enabled, disabled);
}

TEST(ButtonFaces, SelectedFrameIsWhiteInsideAFivePixelCyanBorder) {
    const QImage frame = LoadBitmap(172);
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 90; ++x) {
            const bool border = x < 5 || x >= 85 || y < 5 || y >= 65;
            ASSERT_TRUE(PixelIs(frame, x, y, border ? Rgb(0, 203, 233) : Grey(255)));
        }
    }
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SkinArtworkTool, RegeneratesTheCommittedFilesByteForByte) {
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess tool;
    tool.start(QStringLiteral(LUMISIGHT_SKIN_ARTWORK_TOOL), {out.path()});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    const QDir committed(QStringLiteral(LUMISIGHT_SOURCE_DIR "/resources"));
    int compared = 0;
    QDirIterator it(out.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString generated = it.next();
        const QString relative = QDir(out.path()).relativeFilePath(generated);
        const QByteArray expected = ReadAll(committed.filePath(relative));
        EXPECT_FALSE(expected.isEmpty()) << relative.toStdString() << " is not committed";
        EXPECT_TRUE(ReadAll(generated) == expected) << relative.toStdString() << " differs";
        ++compared;
    }
    EXPECT_GE(compared, 12);  // eleven bitmaps and the window icon at least
}

TEST(SkinArtworkTool, ProgramCarriesTheCommittedFiles) {
    const QDir committed(QStringLiteral(LUMISIGHT_SOURCE_DIR "/resources"));
    for (const BitmapSize& bitmap : kBitmaps) {
        const QString name = QStringLiteral("bitmaps/%1.bmp").arg(bitmap.id);
        EXPECT_TRUE(ReadAll(":/" + name) == ReadAll(committed.filePath(name)))
            << name.toStdString();
    }
    EXPECT_TRUE(ReadAll(":/icons/128.png") == ReadAll(committed.filePath("icons/128.png")));
}

}  // namespace

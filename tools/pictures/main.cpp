// Draws every picture the program shows and writes the resource files that list them:
//
//     draw_pictures RESOURCES_FOLDER
//
// writes RESOURCES_FOLDER/res/... and RESOURCES_FOLDER/graphics.qrc and format.qrc. The
// outputs are committed; run scripts/pictures after changing a glyph.
#include <QFile>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

#include "tools/pictures/gif_writer.h"
#include "tools/pictures/glyphs.h"

namespace {

using Draw = std::function<void(QPainter&)>;

struct Picture {
    const char* file;  // under res/
    int width;
    int height;
    Draw draw;  // on the 100 x 100 canvas
};

struct ResourceFile {
    const char* name;    // the .qrc file
    const char* prefix;  // its resource prefix
    const char* folder;  // the pictures it lists: res/<folder>...
    std::vector<Picture> pictures;
};

Draw badge(QRgb colour, const char* label) {
    return [colour, label](QPainter& p) { glyphs::formatBadge(p, QColor(colour), QString::fromUtf8(label)); };
}

// The preview placeholder fills its label edge to edge, so it is drawn on its own canvas.
constexpr int kPreviewWidth = 160;
constexpr int kPreviewHeight = 100;

const std::vector<ResourceFile>& resourceFiles() {
    using namespace glyphs;
    static const std::vector<ResourceFile> files = {
        {"graphics.qrc", "/new/graphics", "",
         {
             {"merrowby.png", 64, 64, brandMark},
             {"logovesk2.png", 32, 32, brandMark},
             {"logo.png", 128, 128, brandMark},
             {"Plus-512.png", 48, 48, plus},
             {"icon-convert-2.png", 48, 48, convert},
             {"repair.png", 48, 48, wrench},
             {"diagnose.png", 48, 48, diagnose},
             {"stop-icon-13402.png", 48, 48, stop},
             {"clear.png", 48, 48, clearList},
             {"about.png", 48, 48, about},
             {"cancel16.png", 16, 16, cancelSmall},
             {"remove16.gif", 16, 16, removeSmall},
             {"log.png", 48, 48, logPage},
             {"reglages.png", 32, 32, gear},
             {"folder.gif", 16, 16, folder},
             {"rotate_left_90.ico", 32, 32, rotateLeft},
             {"rotate_right_90.ico", 32, 32, rotateRight},
             {"rotate_180.ico", 32, 32, rotateHalf},
             {"same.png", 32, 32, sameQuality},
             {"repairicon16.png", 16, 16, wrenchSmall},
             {"convert16.png", 16, 16, convertSmall},
             {"success16.png", 16, 16, success},
             {"error16.png", 16, 16, failure},
             {"incomplete16.png", 16, 16, incomplete},
             {"home32.png", 32, 32, home},
             {"broken.png", 64, 64, brokenFilm},
             {"tools.png", 48, 48, glyphs::tools},
             {"preview.png", kPreviewWidth, kPreviewHeight, nullptr},
         }},
        {"format.qrc", "/format/icons", "format/",
         {
             {"no.png", 32, 32, noRotation},
             {"avi.png", 64, 64, badge(0x7b3fa0, "AVI")},
             {"mp4.png", 64, 64, badge(0x1f6f8b, "MP4")},
             {"hd720.png", 64, 64, badge(0x0e7c61, "HD\n720")},
             {"hd1080.png", 64, 64, badge(0x0b5d8f, "HD\n1080")},
             {"mov.png", 64, 64, badge(0x4f5b66, "MOV")},
             {"wmv.png", 64, 64, badge(0x2a6fdb, "WMV")},
             {"flv.png", 64, 64, badge(0xc9302c, "FLV")},
             {"webm.gif", 64, 64, badge(0x5f8a1f, "WebM")},
             {"oggtheora.png", 64, 64, badge(0x8b5a2b, "OGV")},
             {"mp3.png", 64, 64, badge(0xe8841c, "MP3")},
             {"aac.png", 64, 64, badge(0xb07a0b, "AAC")},
             {"ogg.png", 64, 64, badge(0xa0522d, "OGG")},
             {"dvd.png", 64, 64, badge(0x333366, "DVD")},
             {"mpeg1.png", 64, 64, badge(0x4a4a8a, "MPEG\n1")},
             {"mpeg2.png", 64, 64, badge(0x2e2e6e, "MPEG\n2")},
         }},
    };
    return files;
}

QImage render(const Picture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (picture.draw) {
        p.scale(picture.width / 100.0, picture.height / 100.0);
        picture.draw(p);
    } else {
        glyphs::previewPlaceholder(p, picture.width, picture.height);
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool write(const QImage& image, const QString& path) {
    if (path.endsWith(QLatin1String(".gif"))) {
        QFile file(path);
        const QByteArray bytes = encodeGif(image);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    QImageWriter writer(path, path.endsWith(QLatin1String(".ico")) ? "ico" : "png");
    return writer.write(image);
}

bool writeResourceFile(const QString& root, const ResourceFile& resources) {
    QFile file(root + QLatin1Char('/') + QLatin1String(resources.name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    QTextStream out(&file);
    out << "<!-- Written by tools/pictures (scripts/pictures); edit the generator, not this file. -->\n";
    out << "<RCC>\n    <qresource prefix=\"" << resources.prefix << "\">\n";
    for (const Picture& picture : resources.pictures)
        out << "        <file>res/" << resources.folder << picture.file << "</file>\n";
    out << "    </qresource>\n</RCC>\n";
    return out.status() == QTextStream::Ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_pictures RESOURCES_FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const ResourceFile& resources : resourceFiles()) {
        const QString folder = root + QStringLiteral("/res/") + QLatin1String(resources.folder);
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
            return 1;
        }
        for (const Picture& picture : resources.pictures) {
            const QString path = folder + QLatin1String(picture.file);
            if (!write(render(picture), path)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
        if (!writeResourceFile(root, resources)) {
            std::fprintf(stderr, "cannot write %s\n", resources.name);
            return 1;
        }
    }
    return 0;
}

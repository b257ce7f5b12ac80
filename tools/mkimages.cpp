// Build tool: renders one SVG source to a PNG at the size the SVG declares; with a third argument, the SVG's
// white (#FFFFFF) is drawn in that colour instead, which gives the dark variants of the images on the skin colour.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's start asks for the session's runtime folder, which a build outside a desktop session (a console, a CI
    // job) lacks; a private one of its own keeps Qt from warning about it for every image.
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: quillbay-mkimages in.svg out.png [#rrggbb]\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    QByteArray svg = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (argc == 4)
        svg.replace("#FFFFFF", argv[3]).replace("#ffffff", argv[3]);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "mkimages: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(renderer.defaultSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}

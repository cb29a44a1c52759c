// libSkinMagicNX.so: the skin library the server loads by name when it is
// installed. LoadSkin reads a Qt style sheet from the skin file and applies
// it to the whole application; the server ignores the result.
#include <QApplication>
#include <QFile>

namespace {
// A style sheet is a few kilobytes; anything much larger is not one.
constexpr qint64 kMaxSkinBytes = 1 << 20;
}  // namespace

extern "C" __attribute__((visibility("default"))) int LoadSkin(const char* path) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || path == nullptr) return 0;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSkinBytes) return 0;
    const QByteArray sheet = file.read(kMaxSkinBytes);
    if (sheet.isEmpty()) return 0;
    app->setStyleSheet(QString::fromUtf8(sheet));
    return 1;
}

// The registry store's INI files on arbitrary bytes: the input is the file of HKEY_CURRENT_USER as a
// hand (or another program) may have written it. Whatever it reads must survive its own save: the
// keys, value names, types and data read back after save and reload are the ones read at first.
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using registry::Root;

QTemporaryDir* g_dir = nullptr;

// Every key under the root with its values, in order, as text.
void vuelca(const QString& ruta, QStringList& out, int nivel = 0) {
    auto& r = registry::RegistryStore::instance();
    for (const registry::Value& v : r.values(Root::CurrentUser, ruta))
        out << ruta + QStringLiteral(" | ") + v.name + QStringLiteral(" | ") + QString::number(v.type) +
                   QStringLiteral(" | ") + v.data.typeName() + QStringLiteral(" | ") +
                   (v.data.typeId() == QMetaType::QStringList  ? v.data.toStringList().join(QChar(0))
                    : v.data.typeId() == QMetaType::QByteArray ? QString::fromLatin1(v.data.toByteArray().toHex())
                                                               : v.data.toString());
    if (nivel > 64)
        return;
    for (const QString& k : r.subKeys(Root::CurrentUser, ruta)) {
        const QString hija = ruta.isEmpty() ? k : ruta + QLatin1Char('\\') + k;
        out << hija;
        vuelca(hija, out, nivel + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);
    g_dir = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString fichero = g_dir->filePath(QStringLiteral("HKEY_CURRENT_USER.ini"));
    {
        QFile f(fichero);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    auto& r = registry::RegistryStore::instance();
    r.setDirectory(g_dir->path());
    // A change, so that the save writes the whole file again.
    r.setValue(Root::CurrentUser, QStringLiteral("SOFTWARE\\Vesk\\Fuzz"),
               {QStringLiteral("Cambio"), registry::REG_SZ, QStringLiteral("uno")});
    QStringList antes;
    vuelca(QString(), antes);
    if (!r.save())
        return 0; // nothing to compare: the file stays as it was
    r.reload();
    QStringList despues;
    vuelca(QString(), despues);
    if (antes != despues) {
        std::fprintf(stderr, "the registry read back after its own save differs\n");
        for (qsizetype i = 0; i < std::max(antes.size(), despues.size()); ++i)
            std::fprintf(stderr, "  %s\n  %s\n",
                         i < antes.size() ? qPrintable(antes[i].toUtf8().toPercentEncoding()) : "-",
                         i < despues.size() ? qPrintable(despues[i].toUtf8().toPercentEncoding()) : "-");
        std::abort();
    }
    QDir(g_dir->path()).removeRecursively();
    QDir().mkpath(g_dir->path());
    return 0;
}

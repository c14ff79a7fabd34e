#include "core/Reg_class.h"
#include "core/basGeneral.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using registry::RegistryStore;
using registry::Value;

namespace {

constexpr qint32 kPrimeraRaiz = qint32(0x80000000);
constexpr qint32 kUltimaRaiz = qint32(0x80000006);

bool esRaizPredefinida(qint32 h) {
    return h >= kPrimeraRaiz && h <= kUltimaRaiz;
}

const char* const kClaveCarpetas =
    "HKEY_USERS\\.Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kClavePuertos = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
                                  "StandardProfile\\GloballyOpenPorts\\List\\";
const char* const kClaveProgramas = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
                                    "StandardProfile\\AuthorizedApplications\\List\\";

QString hexByte(quint8 b, bool relleno) {
    QString s = QString::number(b, 16).toUpper();
    if (relleno && s.size() < 2)
        s.prepend(QLatin1Char('0'));
    return s;
}

QString hexBytes(const QByteArray& datos, bool relleno) {
    QString s;
    s.reserve(datos.size() * 3);
    for (char c : datos) {
        s += hexByte(quint8(c), relleno);
        s += QLatin1Char(' ');
    }
    return s;
}

QString textoDWord(quint32 v) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper() +
           QStringLiteral(" (") + QString::number(qint32(v)) + QLatin1Char(')');
}

std::optional<Value> leeValor(qint32 hKeyPorDefecto, QString sKey, const QString& nombre) {
    const qint32 h = Reg_class::ParseRaizRegistro(sKey, hKeyPorDefecto);
    return RegistryStore::instance().value(Reg_class::raiz(h), sKey, nombre);
}

// Registry writes reach the disk at once, as they do on Windows.
void guarda() {
    RegistryStore::instance().save();
}

void creaClave(QString sKey) {
    const qint32 h = Reg_class::ParseRaizRegistro(sKey, Reg_class::HKEY_CLASSES_ROOT);
    while (sKey.endsWith(QLatin1Char('\\')))
        sKey.chop(1);
    if (RegistryStore::instance().createKey(Reg_class::raiz(h), sKey))
        guarda();
}

} // namespace

Reg_class::Reg_class() = default;

registry::Root Reg_class::raiz(qint32 hKey) {
    switch (hKey) {
    case HKEY_CURRENT_USER:
        return registry::Root::CurrentUser;
    case HKEY_LOCAL_MACHINE:
        return registry::Root::LocalMachine;
    case HKEY_USERS:
        return registry::Root::Users;
    case HKEY_PERFORMANCE_DATA:
        return registry::Root::PerformanceData;
    case HKEY_CURRENT_CONFIG:
        return registry::Root::CurrentConfig;
    case HKEY_DYN_DATA:
        return registry::Root::DynData;
    default:
        return registry::Root::ClassesRoot;
    }
}

qint32 Reg_class::ParseRaizRegistro(QString& sKey, qint32 hKeyPorDefecto) {
    QString nombreRaiz;
    if (sKey.contains(QLatin1String("HKEY_"), Qt::CaseInsensitive)) {
        const int barra = sKey.indexOf(QLatin1Char('\\'));
        if (barra < 0) {
            nombreRaiz = sKey;
            sKey.clear();
        } else {
            nombreRaiz = sKey.left(barra);
            sKey = sKey.mid(barra + 1);
        }
    } else {
        static const struct {
            const char* prefijo;
            const char* raiz;
        } cortos[] = {{"HKCR\\", "HKEY_CLASSES_ROOT"},    {"HKCU\\", "HKEY_CURRENT_USER"},
                      {"HKLM\\", "HKEY_LOCAL_MACHINE"},   {"HKU\\", "HKEY_USERS"},
                      {"HKCC\\", "HKEY_CURRENT_CONFIG"},  {"HKDD\\", "HKEY_DYN_DATA"},
                      {"HKPD\\", "HKEY_PERFORMANCE_DATA"}};
        for (const auto& c : cortos) {
            const QLatin1String prefijo(c.prefijo);
            if (sKey.startsWith(prefijo, Qt::CaseInsensitive)) {
                nombreRaiz = QLatin1String(c.raiz);
                sKey = sKey.mid(prefijo.size());
                break;
            }
        }
    }
    if (nombreRaiz.isEmpty())
        return esRaizPredefinida(hKeyPorDefecto) ? hKeyPorDefecto : HKEY_CLASSES_ROOT;

    static const struct {
        const char* nombre;
        qint32 handle;
    } raices[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                  {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},      {"HKEY_USERS", HKEY_USERS},
                  {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
                  {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA}};
    for (const auto& r : raices)
        if (nombreRaiz.compare(QLatin1String(r.nombre), Qt::CaseInsensitive) == 0)
            return r.handle;
    return HKEY_CLASSES_ROOT;
}

QString Reg_class::rutaStore(const QString& sKey) {
    QString s = sKey;
    while (s.endsWith(QLatin1Char('\\')))
        s.chop(1);
    while (s.startsWith(QLatin1Char('\\')))
        s.remove(0, 1);
    return s;
}

QString Reg_class::QuitaNulos(const QString& texto, bool esMultiple) {
    if (!esMultiple) {
        const int p = texto.indexOf(QChar(0));
        return p < 0 ? texto : texto.left(p);
    }
    QString s = texto;
    const int ultimo = s.lastIndexOf(QChar(0));
    if (ultimo >= 0)
        s.truncate(ultimo);
    s.replace(QChar(0), QLatin1Char(' '));
    return s;
}

QString Reg_class::textoValor(const Value& v) {
    switch (v.type) {
    case registry::REG_SZ:
    case registry::REG_EXPAND_SZ:
        return QuitaNulos(v.data.toString(), false);
    case registry::REG_MULTI_SZ: {
        // The stored items, each ending in NUL and the list in one more: the last NUL goes, the rest turn
        // into blanks.
        QString s;
        for (const QString& item : v.data.toStringList())
            s += item + QChar(0);
        return QuitaNulos(s, true);
    }
    case registry::REG_DWORD:
        return QString::number(qint32(v.data.toUInt()));
    default:
        return hexBytes(v.data.toByteArray(), true);
    }
}

bool Reg_class::claveExistente(const QString& sKey, registry::Root& r, QString& ruta) {
    ruta = sKey;
    r = raiz(ParseRaizRegistro(ruta, HKEY_CLASSES_ROOT));
    ruta = rutaStore(ruta);
    return RegistryStore::instance().keyExists(r, ruta);
}

bool Reg_class::EnumValues(QStringList& pares, const QString& sKey) {
    pares = QStringList{QString()};
    registry::Root r;
    QString ruta;
    if (!claveExistente(sKey, r, ruta))
        return false;
    for (const Value& v : RegistryStore::instance().values(r, ruta)) {
        const bool conDatos = v.type == registry::REG_SZ || v.type == registry::REG_EXPAND_SZ ||
                              v.type == registry::REG_MULTI_SZ || v.type == registry::REG_DWORD ||
                              !v.data.toByteArray().isEmpty();
        if (!conDatos)
            continue;
        pares << QuitaNulos(v.name, false) << textoValor(v);
    }
    return true;
}

bool Reg_class::EnumKeys(QStringList& colKeys, const QString& sKey) {
    colKeys = QStringList{QString()};
    registry::Root r;
    QString ruta;
    if (!claveExistente(sKey, r, ruta))
        return false;
    colKeys << RegistryStore::instance().subKeys(r, ruta);
    return true;
}

QStringList Reg_class::Lee_Keys(const QString& sKey) {
    QStringList pares;
    EnumValues(pares, sKey);
    QStringList nombres{QString()};
    for (int i = 1; i + 1 < pares.size(); i += 2)
        nombres << pares.at(i).toUpper();
    return nombres;
}

QString Reg_class::Lee_Valor(const QString& wKey, const QString& wIndex, bool blnActualiza, const QString& strValDef) {
    QString valor;
    vb::OnError(
        [&] {
            QStringList fresca;
            const QStringList* pares = &garrValoresRegistro;
            if (blnActualiza || wKey.compare(gstrRutaRegistro, Qt::CaseInsensitive) != 0) {
                EnumValues(fresca, wKey);
                pares = &fresca;
            }
            // Before the parameter store has taken its snapshot there is nothing to answer from.
            valor = strValDef;
            for (int i = 1; i + 1 < pares->size(); i += 2)
                if (pares->at(i).compare(wIndex, Qt::CaseInsensitive) == 0) {
                    valor = pares->at(i + 1);
                    return;
                }
        },
        [&](const VBError& e) {
            MensajeEnPantalla(QStringLiteral("Reg_class.Lee_valor: ") + e.description(), prompts::vbExclamation,
                              QString());
            valor.clear();
        });
    return valor;
}

Variant Reg_class::GetRegDWord(const QString& sKey, const QString& sValue, qint32 hKey, bool bAsString) {
    const auto v = leeValor(hKey, sKey, sValue);
    const quint32 n = (v && v->type == registry::REG_DWORD) ? v->data.toUInt() : 0u;
    if (bAsString)
        return textoDWord(n);
    return Variant::fromValue(qint32(n));
}

Variant Reg_class::GetReg(const QString& sKey, const QString& sValue, qint32 hKey, bool bAsString) {
    const auto v = leeValor(hKey, sKey, sValue);
    if (!v) {
        if (bAsString)
            return QString();
        return QByteArray(1, '\0');
    }
    switch (v->type) {
    case registry::REG_SZ:
    case registry::REG_EXPAND_SZ:
    case registry::REG_MULTI_SZ:
        return textoValor(*v);
    case registry::REG_DWORD:
        if (bAsString)
            return textoDWord(v->data.toUInt());
        return Variant::fromValue(qint32(v->data.toUInt()));
    default:
        if (bAsString)
            return hexBytes(v->data.toByteArray(), true);
        return v->data.toByteArray();
    }
}

Variant Reg_class::GetRegBinary(const QString& sKey, const QString& sValue, qint32 hKey, bool bAsString) {
    const auto v = leeValor(hKey, sKey, sValue);
    const QByteArray datos = (v && v->type == registry::REG_BINARY) ? v->data.toByteArray() : QByteArray();
    if (bAsString)
        return hexBytes(datos, false);
    return datos;
}

QString Reg_class::GetRegString(const QString& sKey, const QString& sValue, qint32 hKey) {
    const auto v = leeValor(hKey, sKey, sValue);
    if (!v || v->type != registry::REG_SZ)
        return QString();
    return QuitaNulos(v->data.toString(), false);
}

QString Reg_class::QueryRegBase(const QString& sKey, qint32 hKey) {
    QString ruta = sKey;
    const qint32 h = ParseRaizRegistro(ruta, hKey);
    const auto v = RegistryStore::instance().value(raiz(h), rutaStore(ruta), QString());
    if (!v)
        return QString();
    return textoValor(*v);
}

void Reg_class::SetReg(const QString& sKey, const QString& sName, const Variant& vValue, qint32 hKey, int RegDataType,
                       bool bCreateKey, qint32* resultado) {
    QString ruta = sKey;
    const registry::Root r = raiz(ParseRaizRegistro(ruta, hKey));
    ruta = rutaStore(ruta);
    auto& store = RegistryStore::instance();
    if (resultado)
        *resultado = ERROR_SUCCESS;
    if (!store.keyExists(r, ruta)) {
        if (!bCreateKey || !store.createKey(r, ruta)) {
            if (resultado)
                *resultado = bCreateKey ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
            return;
        }
    }
    Value v;
    v.name = sName;
    v.type = RegDataType;
    switch (RegDataType) {
    case registry::REG_SZ:
    case registry::REG_EXPAND_SZ:
        v.data = vb::CStr(vValue);
        break;
    case registry::REG_BINARY:
        // The whole array: every byte the caller gave.
        if (vValue.typeId() != QMetaType::QByteArray)
            vb::Raise(vb::err::TypeMismatch);
        v.data = vValue.toByteArray();
        break;
    case registry::REG_MULTI_SZ:
        v.data = vValue.typeId() == QMetaType::QStringList ? vValue.toStringList() : QStringList{vb::CStr(vValue)};
        break;
    case registry::REG_DWORD:
        v.data = quint32(vb::CLng(vValue));
        break;
    default:
        guarda();
        return; // the key may have been created; no value is written
    }
    if (!store.setValue(r, ruta, v)) {
        if (resultado)
            *resultado = ERROR_ACCESS_DENIED;
        return;
    }
    guarda();
}

qint32 Reg_class::BorraClaveRecursiva(qint32 hKey, const QString& sKey) {
    auto& store = RegistryStore::instance();
    const QString ruta = rutaStore(sKey);
    if (ruta.isEmpty() || !store.keyExists(raiz(hKey), ruta))
        return ERROR_FILE_NOT_FOUND;
    if (!store.deleteKey(raiz(hKey), ruta))
        return ERROR_ACCESS_DENIED;
    guarda();
    return ERROR_SUCCESS;
}

void Reg_class::DeleteKey(const QString& sKey, const QString& sName, qint32 /*hKey*/, qint32* resultado) {
    QString ruta = sKey;
    const qint32 h = ParseRaizRegistro(ruta, HKEY_CURRENT_USER);
    qint32 r;
    if (sName.isEmpty()) {
        r = BorraClaveRecursiva(h, ruta);
    } else {
        auto& store = RegistryStore::instance();
        ruta = rutaStore(ruta);
        if (!store.value(raiz(h), ruta, sName)) {
            r = ERROR_FILE_NOT_FOUND;
        } else if (!store.deleteValue(raiz(h), ruta, sName)) {
            r = ERROR_ACCESS_DENIED;
        } else {
            guarda();
            r = ERROR_SUCCESS;
        }
    }
    if (resultado)
        *resultado = r;
}

vb::ObjectPtr Reg_class::ShellFolders(bool bSoloClaves) {
    m_nombresCarpetas.clear();
    m_rutasCarpetas.clear();
    auto anade = [this](const QString& nombre, const QString& ruta) {
        if (nombre.isEmpty() || ruta.isEmpty())
            return;
        // The first path given for a name stands; a later one of the same name is left out.
        for (const QString& n : std::as_const(m_nombresCarpetas))
            if (n.compare(nombre, Qt::CaseInsensitive) == 0)
                return;
        m_nombresCarpetas << nombre;
        m_rutasCarpetas << ruta;
    };

    QStringList pares;
    EnumValues(pares, QLatin1String(kClaveCarpetas));
    for (int i = 1; i + 1 < pares.size(); i += 2)
        anade(pares.at(i), pares.at(i + 1));

    static const struct {
        const char* nombre;
        QStandardPaths::StandardLocation donde;
    } estandar[] = {
        {"Desktop", QStandardPaths::DesktopLocation},       {"Personal", QStandardPaths::DocumentsLocation},
        {"My Music", QStandardPaths::MusicLocation},        {"My Pictures", QStandardPaths::PicturesLocation},
        {"My Video", QStandardPaths::MoviesLocation},       {"Fonts", QStandardPaths::FontsLocation},
        {"AppData", QStandardPaths::GenericConfigLocation}, {"Local AppData", QStandardPaths::GenericDataLocation},
        {"Cache", QStandardPaths::GenericCacheLocation},    {"Downloads", QStandardPaths::DownloadLocation},
        {"Profile", QStandardPaths::HomeLocation},          {"Temp", QStandardPaths::TempLocation}};
    for (const auto& e : estandar)
        anade(QLatin1String(e.nombre), QDir::toNativeSeparators(QStandardPaths::writableLocation(e.donde)));

    auto col = std::make_shared<vb::Collection>();
    for (const QString& s : bSoloClaves ? m_nombresCarpetas : m_rutasCarpetas)
        col->Add(s);
    return col;
}

QString Reg_class::GetFolder(const Variant& vIndex) {
    if (m_nombresCarpetas.isEmpty())
        ShellFolders(false);
    if (vIndex.typeId() == QMetaType::QString) {
        const QString nombre = vIndex.toString();
        for (int i = 0; i < m_nombresCarpetas.size(); ++i)
            if (m_nombresCarpetas.at(i).compare(nombre, Qt::CaseInsensitive) == 0)
                return m_rutasCarpetas.at(i);
        return QString();
    }
    bool ok = false;
    const double d = vIndex.toDouble(&ok);
    if (!ok || vb::IsNull(vIndex) || !vIndex.isValid())
        return QString();
    const qint64 n = qint64(vb::RoundHalfEven(d));
    if (n < 1 || n > m_rutasCarpetas.size())
        return QString();
    return m_rutasCarpetas.at(int(n - 1));
}

void Reg_class::AsociarExt(const QString& sExt0, const QString& sExe0, const QString& sCommand, bool bDefault,
                           const QString& sProgId0, const QString& sDescription0, const QString& sFic_Icono0,
                           qint32 sInd_Icono) {
    QString sFicIcono = sFic_Icono0.isEmpty() ? sExe0 : sFic_Icono0;
    const QString sExt = vb::Trim(sExt0);
    QString sExe = vb::Trim(sExe0);
    const QString sComando = vb::Trim(sCommand);
    QString sProgId = vb::Trim(sProgId0);
    QString sDescription = vb::Trim(sDescription0);
    if (!sExe.isEmpty()) {
        if (!sExe.contains(QLatin1Char('.')))
            sExe += QLatin1String(".exe");
        sExe += QLatin1Char(' ');
    }
    if (sProgId.isEmpty())
        sProgId = QStringLiteral("progID") + sExt;
    if (sDescription.isEmpty())
        sDescription = QStringLiteral("Descripción de ") + sProgId;
    QString verbo = sComando;
    const int amp = verbo.indexOf(QLatin1Char('&'));
    if (amp >= 0)
        verbo.remove(amp, 1);

    const QString claseExt = QStringLiteral("HKEY_CLASSES_ROOT\\") + sExt;
    if (QueryRegBase(claseExt, HKEY_CLASSES_ROOT).isEmpty()) {
        SetReg(claseExt, QString(), sProgId, HKEY_CLASSES_ROOT, registry::REG_SZ, true);
        SetReg(QStringLiteral("HKEY_CLASSES_ROOT\\") + sProgId, QString(), sDescription, HKEY_CLASSES_ROOT,
               registry::REG_SZ, true);
    }
    const QString progId = QueryRegBase(claseExt, HKEY_CLASSES_ROOT);
    if (progId.isEmpty())
        return;
    const QString base = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes\\") + progId;
    creaClave(base);
    SetReg(base + QStringLiteral("\\shell\\") + verbo, QString(), sCommand, HKEY_LOCAL_MACHINE);
    if (!sExe.isEmpty())
        SetReg(base + QStringLiteral("\\shell\\") + verbo + QStringLiteral("\\command"), QString(),
               sExe + QStringLiteral("\"%1\""), HKEY_LOCAL_MACHINE);
    const QString indice =
        sInd_Icono >= 0 ? QStringLiteral(" ") + QString::number(sInd_Icono) : QString::number(sInd_Icono);
    SetReg(base + QStringLiteral("\\DefaultIcon"), QString(), sFicIcono + QLatin1Char(',') + indice,
           HKEY_LOCAL_MACHINE);
    if (bDefault)
        SetReg(base + QStringLiteral("\\shell"), QString(), verbo, HKEY_LOCAL_MACHINE);
}

void Reg_class::DesasociarExt(const QString& sExt0) {
    QString sExt = sExt0;
    if (!sExt.contains(QLatin1Char('.')))
        sExt = QLatin1Char('.') + sExt;
    const QString progId = QueryRegBase(QStringLiteral("HKEY_CLASSES_ROOT\\") + sExt, HKEY_CLASSES_ROOT);
    if (progId.isEmpty())
        return;
    BorraClaveRecursiva(HKEY_CLASSES_ROOT, sExt);
    BorraClaveRecursiva(HKEY_CLASSES_ROOT, progId);
}

void Reg_class::Firewall_HabilitarEjecutable(const QString& strRutaEjecutable) {
    AtrapaErrores(QStringLiteral("Firewall_HabilitarEjecutable"), [&] {
        const QFileInfo fi(strRutaEjecutable);
        if (!fi.exists())
            return;
        SetReg(QLatin1String(kClaveProgramas), strRutaEjecutable,
               strRutaEjecutable + QStringLiteral(":*:Enabled:") + fi.fileName(), HKEY_LOCAL_MACHINE, registry::REG_SZ,
               true);
    });
}

void Reg_class::Firewall_HabilitarPuerto(const QString& strPuerto, const QString& strProtocolo) {
    AtrapaErrores(QStringLiteral("Firewall_HabilitarPuerto"), [&] {
        GrabaLog(QStringLiteral("Firewall_HabilitarPuerto (") + strPuerto + QLatin1Char(')'));
        const QString entrada = strPuerto + QLatin1Char(':') + strProtocolo;
        SetReg(QLatin1String(kClavePuertos), entrada,
               entrada + QStringLiteral(":*:Enabled:") + strProtocolo + strPuerto, HKEY_LOCAL_MACHINE, registry::REG_SZ,
               true);
    });
}

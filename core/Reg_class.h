#pragma once
// The registry helper over the platform's registry store. Key paths may name their root
// ("HKEY_CURRENT_USER\SOFTWARE\...", "HKCU\...") or take the default root argument.
// (The helper's owner completes this class; the signatures below are what other parts call.)
#include "platform/Registry.h"
#include "platform/Variant.h"
#include <QString>
#include <QStringList>

class Reg_class {
public:
    enum : qint32 {
        HKEY_CLASSES_ROOT = qint32(0x80000000), HKEY_CURRENT_USER = qint32(0x80000001),
        HKEY_LOCAL_MACHINE = qint32(0x80000002), HKEY_USERS = qint32(0x80000003),
        HKEY_PERFORMANCE_DATA = qint32(0x80000004), HKEY_CURRENT_CONFIG = qint32(0x80000005),
        HKEY_DYN_DATA = qint32(0x80000006)
    };
    // Pair list: element 0 empty, then name and value text at 1 and 2, 3 and 4, ...
    bool EnumValues(QStringList& pares, const QString& sKey);
    bool EnumKeys(QStringList& colKeys, const QString& sKey);
    QString Lee_Valor(const QString& wKey, const QString& wIndex, bool blnActualiza = false,
                      const QString& strValDef = {});
    void SetReg(const QString& sKey, const QString& sName, const Variant& vValue, qint32 hKey = HKEY_CURRENT_USER,
                int RegDataType = registry::REG_SZ, bool bCreateKey = true, qint32* resultado = nullptr);
    void DeleteKey(const QString& sKey, const QString& sName = {}, qint32 hKey = HKEY_CURRENT_USER,
                   qint32* resultado = nullptr);
    void Firewall_HabilitarPuerto(const QString& strPuerto, const QString& strProtocolo = QStringLiteral("TCP"));
    void Firewall_HabilitarEjecutable(const QString& strRutaEjecutable);
    // ... GetReg, GetRegDWord, GetRegString, GetRegBinary, Lee_Keys, QueryRegBase, ShellFolders, GetFolder, ...
};

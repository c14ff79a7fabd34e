#include "EntornoBalanza.h"

void EntornoBalanza::apuntaCom(int n, const QString& dispositivo) {
    auto& reg = registry::RegistryStore::instance();
    const QString clave = QString::fromLatin1(registry::kSerialCommMapKey);
    const QString com = QStringLiteral("COM%1").arg(n);
    for (const registry::Value& v : reg.values(registry::Root::LocalMachine, clave))
        if (v.data.toString().compare(com, Qt::CaseInsensitive) == 0)
            reg.deleteValue(registry::Root::LocalMachine, clave, v.name);
    reg.setValue(registry::Root::LocalMachine, clave, registry::Value{dispositivo, registry::REG_SZ, com});
}

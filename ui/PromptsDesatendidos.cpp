#include "ui/PromptsDesatendidos.h"

#include <QTextStream>
#include <cstdio>

namespace {

void escribe(const QString& clase, const QString& texto) {
    QString linea = texto;
    linea.replace(QLatin1String("\r\n"), QLatin1String(" | ")).replace(QLatin1Char('\n'), QLatin1String(" | "));
    QTextStream err(stderr);
    err << "tarvolin: " << clase << ": " << linea << Qt::endl;
}

} // namespace

int PromptsDesatendidos::messageBox(const QString& text, int style, const QString& title) {
    escribe(QStringLiteral("mensaje"), text);
    (void)title;
    return (style & 0x0F) == prompts::vbOKOnly ? prompts::vbOK : 0;
}

bool PromptsDesatendidos::inputBox(const QString& prompt, const QString& title, QString& value) {
    escribe(QStringLiteral("entrada"), prompt);
    (void)title;
    (void)value;
    return false;
}

int PromptsDesatendidos::showForm(const QString& name) {
    escribe(QStringLiteral("formulario"), name);
    return 0;
}

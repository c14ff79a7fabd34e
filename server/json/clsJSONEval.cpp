// The script language of clsJSON.
//
//   ["Hola ", {"get": {"name": "x", "default": "nadie"}}, {"mesa": {"n": 4}}]
//
// gives "Hola ", the variable x (or "nadie") and the placeholder "<%MESA(4)%>". A command object's
// members are commands carried out in order; each takes a parameter object (a "return" takes its
// text, any other name may take a plain text instead). E(x) below is the evaluation of member x of
// the parameter object (a missing member is empty, and is added as the scripting dictionary does).
// A placeholder's arguments are its member values as written, joined by ",".
//
// A script cannot build without end (a variable doubled again and again): every piece appended in
// one evaluation counts against kMaxTextoScript, and passing it raises VB's out-of-memory error.
#include "clsJSON.h"

#include "clsStringBuilder.h"
#include "core/basGeneral.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"

#include <QScopeGuard>

namespace {

const QString kErrorAnidamiento = QStringLiteral("ERROR: Nesting level exceeded.");

// A scalar as text, with "." as the decimal separator whatever the settings.
QString textoEscalar(const Variant& v) {
    return vb::CStr(v).replace(u',', u'.');
}

} // namespace

auto clsJSON::evaluacion() {
    if (m_evaluaciones++ == 0)
        m_textoConstruido = 0;
    return qScopeGuard([this] { --m_evaluaciones; });
}

void clsJSON::anade(clsStringBuilder& sb, const QString& texto) {
    m_textoConstruido += texto.size();
    if (m_textoConstruido > kMaxTextoScript)
        vb::Raise(vb::err::OutOfMemory);
    sb.Append(texto);
}

std::shared_ptr<vb::Dictionary> clsJSON::dicVariables() {
    if (!m_dicVariables)
        m_dicVariables = std::make_shared<vb::Dictionary>();
    return m_dicVariables;
}

QString clsJSON::Eval(const QString& sJSON) {
    const auto abierta = evaluacion();
    clsStringBuilder sb;
    const vb::ObjectPtr script = parse(sJSON);
    const QString errores = GetParserErrors();
    if (errores.isEmpty() && script) {
        if (const auto lista = std::dynamic_pointer_cast<vb::Collection>(script)) {
            for (const Variant& item : lista->items()) {
                if (vb::IsNull(item))
                    anade(sb, QStringLiteral("null"));
                else if (item.typeId() == QMetaType::QString)
                    anade(sb, item.toString());
                else if (vb::IsDate(item))
                    anade(sb, vb::CStr(item));
                else if (vb::IsObject(item))
                    anade(sb, ExecCommand(item));
                else
                    vb::Raise(vb::err::ObjectRequired);
            }
        } else if (std::static_pointer_cast<vb::Dictionary>(script)->Count() > 0) {
            // An object has no items 1, 2, ...: its first one reads empty, which is no command.
            vb::Raise(vb::err::ObjectRequired);
        }
    } else {
        MensajeEnPantalla(errores, prompts::vbExclamation, QStringLiteral("Parser Error"));
    }
    return sb.toString();
}

QString clsJSON::ExecCommand(const Variant& obj) {
    const auto abierta = evaluacion();
    if (lngNivelAnidamiento > kMaxAnidamiento)
        return kErrorAnidamiento;
    // Lowered on every way out, errors included, so one failed script does not cut the next ones.
    struct Nivel {
        qint32& n;
        ~Nivel() { --n; }
    } nivel{++lngNivelAnidamiento};

    if (obj.typeId() == QMetaType::Bool)
        return obj.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (vb::IsNull(obj))
        return QStringLiteral("null");
    if (obj.typeId() == QMetaType::QString)
        return obj.toString();
    if (vb::IsDate(obj))
        return vb::CStr(obj);
    if (vb::IsObject(obj)) {
        const vb::ObjectPtr o = vb::ToObject(obj);
        clsStringBuilder sb;
        if (const auto d = std::dynamic_pointer_cast<vb::Dictionary>(o))
            ejecutaComandos(sb, *d);
        else if (const auto lista = std::dynamic_pointer_cast<vb::Collection>(o))
            for (const Variant& item : lista->items())
                anade(sb, ExecCommand(item));
        return sb.toString();
    }
    if (obj.typeId() == QMetaType::QVariantList)
        return QString();
    return textoEscalar(obj);
}

void clsJSON::ejecutaComandos(clsStringBuilder& sb, vb::Dictionary& comandos) {
    // A copy of the names: "get" and E() may add keys to dictionaries met on the way.
    const QStringList nombres = comandos.Keys();
    for (int i = 0; i < nombres.size(); ++i) {
        const QString& nombre = nombres.at(i);
        const Variant valor = comandos.at(i);
        const bool textoPlano = valor.typeId() == QMetaType::QString;
        std::shared_ptr<vb::Dictionary> P;
        if (!textoPlano) {
            if (!vb::IsObject(valor) || vb::IsNothing(valor))
                vb::Raise(vb::err::ObjectRequired);
            P = std::dynamic_pointer_cast<vb::Dictionary>(vb::ToObject(valor)); // null for a list
        }
        const auto esNombre = [&](const char* k) { return nombre.compare(QLatin1String(k), Qt::CaseInsensitive) == 0; };

        if (esNombre("return")) {
            if (!textoPlano)
                vb::Raise(vb::err::TypeMismatch);
            anade(sb, valor.toString());
            continue;
        }
        const bool conocido = esNombre("alert") || esNombre("input") || esNombre("switch") || esNombre("set") ||
                              esNombre("get") || esNombre("if");
        if (!conocido) {
            QString argumentos;
            if (textoPlano) {
                argumentos = valor.toString();
            } else if (P) {
                // Member values as written: a text keeps its commas ("Mayor, 5").
                QStringList partes;
                for (int j = 0; j < P->Count(); ++j)
                    partes << vb::CStr(P->at(j));
                argumentos = partes.join(u',');
            }
            anade(sb,
                  QStringLiteral("<%") + nombre.toUpper() + QStringLiteral("(") + argumentos + QStringLiteral(")%>"));
            continue;
        }
        // The keywords read their parameters from an object: a plain text or a list is no object.
        if (!P)
            vb::Raise(textoPlano ? vb::err::ObjectRequired : vb::err::InvalidCall);
        const auto E = [&](const char* miembro) { return ExecCommand(P->item(QLatin1String(miembro))); };
        const auto crudo = [&](const char* miembro) -> Variant {
            const Variant& v = P->item(QLatin1String(miembro));
            if (vb::IsObject(v))
                vb::Raise(vb::err::TypeMismatch);
            return v;
        };

        if (esNombre("alert")) {
            const QString mensaje = E("message");
            MensajeEnPantalla(mensaje, prompts::vbInformation, E("title"));
        } else if (esNombre("input")) {
            const QString prompt = E("prompt");
            const QString titulo = E("title");
            QString texto = E("default");
            if (!prompts::current().inputBox(prompt, titulo, texto))
                texto.clear();
            anade(sb, texto);
        } else if (esNombre("switch")) {
            QString resultado = E("default");
            const QString caso = E("case").toLower();
            const auto items =
                std::dynamic_pointer_cast<vb::Collection>(vb::ToObject(P->item(QStringLiteral("items"))));
            if (!items)
                vb::Raise(vb::err::ObjectRequired);
            for (const Variant& item : items->items()) {
                const auto opcion = std::dynamic_pointer_cast<vb::Dictionary>(vb::ToObject(item));
                if (!opcion)
                    vb::Raise(vb::err::ObjectRequired);
                const Variant& c = opcion->item(QStringLiteral("case"));
                if (vb::IsObject(c))
                    vb::Raise(vb::err::TypeMismatch);
                if (vb::CStr(c).toLower().compare(caso, Qt::CaseInsensitive) == 0) {
                    resultado = ExecCommand(opcion->item(QStringLiteral("return")));
                    break;
                }
            }
            anade(sb, resultado);
        } else if (esNombre("set")) {
            const QString variable = vb::CStr(crudo("name"));
            const QString v = E("value");
            dicVariables()->set(variable, v);
        } else if (esNombre("get")) {
            const QString variable = vb::CStr(crudo("name"));
            QString v = ExecCommand(dicVariables()->item(variable));
            if (v.isEmpty())
                v = E("default");
            anade(sb, v);
        } else { // "if"
            const QString a = E("value1");
            const QString b = E("value2");
            const QString tipo = vb::CStr(crudo("type")).toLower();
            const int c = a.compare(b, Qt::CaseInsensitive);
            const bool cierto = (tipo == QLatin1String("eq") && c == 0) || (tipo == QLatin1String("gt") && c > 0) ||
                                (tipo == QLatin1String("lt") && c < 0) || (tipo == QLatin1String("gte") && c >= 0) ||
                                (tipo == QLatin1String("lte") && c <= 0);
            anade(sb, cierto ? E("true") : E("false"));
        }
    }
}

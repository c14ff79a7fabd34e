// The parameter store: the registry key's values, overlaid by this till's configtpv rows.
#include "core/clsParametros.h"
#include "core/NombresParametros.h"

#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"

#include <type_traits>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Keys that stay local to the till: configtpv never overrides them (IPSERVIDOR is listed twice, as
// the statement has always carried it).
const char* const kClavesSoloLocales[] = {"IPSERVIDOR",        "ORIGENIMAGEN",  "FECHAACTUAL",
                                          "SESIONACTUAL",      "MYSQLPASSWORD", "MYSQLSERVIDORPASSWORD",
                                          "IPSERVIDOR",        "SQLSERVER2005", "SQLSERVEREXPRESSNOMBREINSTANCIA",
                                          "SQLSERVERPASSWORD", "SQLSERVERUSER"};

QString clave(const QString& nombre) {
    return nombre.toCaseFolded();
}

QString textoDeValor(const Variant& v) {
    if (vb::IsNull(v) || vb::IsEmpty(v))
        return QString();
    return vb::CStr(v);
}

} // namespace

// ---- clsParametro ----
Variant clsParametro::valor() const {
    Variant r;
    vb::OnError(
        [&] {
            const Variant v = m_blnValorAsignado ? m_valor : vrnValDef;
            if (TipoParametro == 1 || TipoParametro == 2)
                r = Variant(basFuncionesComunes::ValNumero(textoDeValor(v)));
            else if (vb::IsNull(v))
                r = v;
            else
                r = Variant(vb::Trim(textoDeValor(v)));
        },
        [&](const VBError& e) {
            MensajeEnPantalla(QStringLiteral("Error en la asignación de valor: ") + e.description(), prompts::vbOKOnly,
                              QString());
            r = vb::Empty();
        });
    return r;
}

void clsParametro::setValor(const Variant& v) {
    m_valor = v;
    m_blnValorAsignado = true;
}

void clsParametro::ActValor(const Variant& v) {
    setValor(v);
    objReg().SetReg(gstrRutaRegistro, Nombre, v, Reg_class::HKEY_CURRENT_USER, registry::REG_SZ, true);
}

// ---- clsParametros ----
std::shared_ptr<clsParametro> clsParametros::find(const QString& name) const {
    if (!m_col)
        return nullptr;
    return m_indice.value(clave(name));
}

void clsParametros::add(const std::shared_ptr<clsParametro>& p) {
    m_col->push_back(p);
    m_indice.insert(clave(p->Nombre), p);
}

bool clsParametros::existe(const QString& strParametro) const {
    return find(strParametro) != nullptr;
}

void clsParametros::resetForTests() {
    m_col.reset();
    m_indice.clear();
}

void clsParametros::GetParamReg() {
    vb::OnError(
        [&] {
            GrabaLog(QStringLiteral("llamo a EnumValues: ") + basFuncionesComunes::TextoSegundos());
            objReg().EnumValues(garrValoresRegistro, gstrRutaRegistro);
            GrabaLog(QStringLiteral("he llamado a EnumValues: ") + basFuncionesComunes::TextoSegundos());
            GrabaLog(QStringLiteral("llamo a InitParametros: ") + basFuncionesComunes::TextoSegundos());
            InitParametros();
            GrabaLog(QStringLiteral("He llamado a InitParametros: ") + basFuncionesComunes::TextoSegundos());

            // A half-filled configuration goes to the configuration dialog like an empty one.
            const QString ip = lee(param::IpServidor);
            // (the text, not the number: an empty setting is what is asked about here)
            const QString empresa = getValor(param::Empresa.nombre, true);
            const QString restaurante = getValor(param::Restaurante.nombre, true);
            const QString tpv = getValor(param::TPV.nombre, true);
            if (ip.isEmpty() || empresa.isEmpty() || restaurante.isEmpty() || tpv.isEmpty()) {
                MensajeUsuario(QStringLiteral("El programa no está correctamente configurado. Por favor, introduce los "
                                              "parámetros básicos de acceso al servidor"),
                               prompts::vbExclamation, QString());
                prompts::current().showForm(QStringLiteral("frmConfig"));
                program::End();
            }
        },
        [](const VBError& err) {
            MensajeUsuario(TraduceLiteral(QStringLiteral(
                               "Se ha producido un error durante la inicialización de la colección de parámetros.")) +
                               QStringLiteral("\n\r") + TraduceLiteral(QStringLiteral("Mensaje de error:")) +
                               QStringLiteral(" ") + err.description(),
                           prompts::vbExclamation, QString());
        });
}

void clsParametros::InitParametros() {
    AtrapaErrores(QStringLiteral("clsParametros.InitParametros"), [&] {
        m_col = std::make_unique<std::vector<std::shared_ptr<clsParametro>>>();
        m_indice.clear();
        QStringList pares;
        objReg().EnumValues(pares, gstrRutaRegistro);
        const int limite = int(pares.size()) - 1;
        if (limite <= 0) {
            MensajeEnPantalla(QStringLiteral("No se puede acceder a los parámetros de configuración. "
                                             "Configura el programa y reinícialo para continuar"),
                              prompts::vbInformation, QString());
            prompts::current().showForm(QStringLiteral("frmConfig"));
            program::End();
        }
        for (int i = 1; i <= limite - 1; i += 2) {
            const QString& nombre = pares.at(i);
            if (find(nombre)) {
                // Names that differ only in case are one parameter: the first one stays.
                GrabaLog(QStringLiteral("Parámetro repetido en el registro, se conserva el primero: ") + nombre);
                continue;
            }
            auto p = std::make_shared<clsParametro>();
            p->Nombre = nombre;
            p->setValor(Variant(pares.at(i + 1)));
            add(p);
        }
    });
}

void clsParametros::CargaParametrosDesdeServidor() {
    AtrapaErrores(QStringLiteral("clsParametros.CargaParametrosDesdeServidor"), [&] {
        QString sql = QStringLiteral("select * ") + QStringLiteral("from configtpv ") +
                      QStringLiteral("where empresa=") + QString::number(glngEmpresa) +
                      QStringLiteral(" and restaurante=") + QString::number(glngRestaurante) +
                      QStringLiteral(" and tpv=") + QString::number(gintTPV) + QStringLiteral(" and clave!=''");
        for (const char* k : kClavesSoloLocales)
            sql += QStringLiteral(" and clave!='") + QLatin1String(k) + QStringLiteral("'");
        ado::RecordsetPtr rs = ConexionServidor().OpenRecordset(sql);
        while (!rs->isEOF()) {
            const QString nombre = textoDeValor(rs->Fields(QStringLiteral("clave")).Value);
            const Variant valor = basFuncionesComunes::VarToStr(rs->Fields(QStringLiteral("valor")).Value, QString());
            SetValor(nombre, valor);
            rs->MoveNext();
        }
        rs->Close();
    });
}

QString clsParametros::getValor(const QString& strParametro, bool blnDevolverVacioSiNoExiste) {
    const std::shared_ptr<clsParametro> p = find(strParametro);
    if (!p) {
        if (blnDevolverVacioSiNoExiste)
            return QString();
        const QString descripcion = vb::DefaultErrorText(m_col ? vb::err::InvalidCall : vb::err::ObjectNotSet);
        MensajeEnPantalla(
            QStringLiteral("El parámetro ") + strParametro +
                QStringLiteral(" no existe en la colección de parámetros. Esto normalmente es un error de la versión "
                               "del programa.") +
                kCrLf +
                QStringLiteral("El programa no arrancará. Es recomendable actualizar la versión del programa a la "
                               "última disponible.") +
                kCrLf + kCrLf + QStringLiteral("ERROR: ") + descripcion,
            prompts::vbOKOnly, QString());
        program::End();
    }
    QString texto;
    vb::OnError([&] { texto = textoDeValor(p->valor()); },
                [&](const VBError& e) {
                    MensajeEnPantalla(QStringLiteral("Error producido en la extracción de parámetros") + kCrLf +
                                          QStringLiteral("Parametro: ") + strParametro + kCrLf +
                                          QStringLiteral("ERROR: ") + e.description(),
                                      prompts::vbOKOnly, QString());
                    program::End();
                });
    return texto;
}

void clsParametros::SetValor(const QString& strParametro, const Variant& vrnValor, bool) {
    vb::OnError(
        [&] {
            std::shared_ptr<clsParametro> p = find(strParametro);
            if (!p) {
                if (!m_col)
                    vb::Raise(vb::err::ObjectNotSet);
                p = std::make_shared<clsParametro>();
                p->Nombre = strParametro;
                p->setValor(vrnValor);
                add(p);
            }
            p->ActValor(vrnValor);
        },
        [&](const VBError& err) {
            if (gblnDebug)
                MensajeUsuario(
                    TraduceLiteral(QStringLiteral("Se ha producido un error al grabar el valor del parámetro")) +
                        QStringLiteral(" ") + strParametro + QStringLiteral(": ") + err.description(),
                    prompts::vbOKOnly, QString());
        });
}

void clsParametros::ImportarParametrosServidor(const QStringList& claves) {
    AtrapaErrores(QStringLiteral("clsParametros.ImportarParametrosServidor"), [&] {
        QStringList lista;
        for (const QString& k : claves)
            lista << basFuncionesComunes::cStringSQL(k, true, true);
        if (lista.isEmpty())
            return;
        const QString sql = QStringLiteral("select clave, CAST(valor AS CHAR) AS valor  from config ") +
                            QStringLiteral(" where clave in (") + lista.join(QLatin1Char(',')) + QStringLiteral(")");
        ado::RecordsetPtr rs = ConexionServidor().OpenRecordset(sql);
        while (!rs->isEOF()) {
            const QString nombre =
                textoDeValor(basFuncionesComunes::VarToStr(rs->Fields(QStringLiteral("clave")).Value, QString()));
            const Variant valor = basFuncionesComunes::Vc(&rs->Fields(QStringLiteral("valor")), vb::Null());
            SetValor(nombre, Variant(textoDeValor(valor)));
            rs->MoveNext();
        }
        rs->Close();
    });
}

// ---- the conversions the key types name ----
template <> QString clsParametros::convierte<QString>(const char*, const QString& texto) {
    return texto;
}

template <> double clsParametros::convierte<double>(const char*, const QString& texto) {
    return basFuncionesComunes::ValNumero(texto);
}

template <> qint32 clsParametros::convierte<qint32>(const char*, const QString& texto) {
    return vb::CLng(Variant(basFuncionesComunes::ValNumero(texto)));
}

template <> qint16 clsParametros::convierte<qint16>(const char*, const QString& texto) {
    return vb::CInt(Variant(basFuncionesComunes::ValNumero(texto)));
}

template <> bool clsParametros::convierte<bool>(const char*, const QString& texto) {
    return vb::CBool(Variant(texto));
}

template <class V> V clsParametros::convierteSinParar(const char* nombre, const QString& texto) {
    V r{};
    vb::OnError(
        [&] {
            // A number's text that is no number reads as 0 anyway; here it is told too.
            if constexpr (std::is_same_v<V, double>)
                if (!texto.isEmpty() && !vb::IsNumeric(Variant(texto)))
                    vb::Raise(vb::err::TypeMismatch);
            r = convierte<V>(nombre, texto);
        },
        [&](const VBError&) {
            GrabaLog(QStringLiteral("El parámetro ") + QLatin1String(nombre) +
                     QStringLiteral(" tiene un valor no válido ('") + texto + QStringLiteral("'): se toma ") +
                     (std::is_same_v<V, bool> ? QStringLiteral("como falso") : QStringLiteral("0")));
            r = V{};
        });
    return r;
}

template QString clsParametros::convierteSinParar<QString>(const char*, const QString&);
template double clsParametros::convierteSinParar<double>(const char*, const QString&);
template qint32 clsParametros::convierteSinParar<qint32>(const char*, const QString&);
template qint16 clsParametros::convierteSinParar<qint16>(const char*, const QString&);
template bool clsParametros::convierteSinParar<bool>(const char*, const QString&);

// Query helper over one connection: rows come back as generic entities.
#include "core/clsDR.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Program.h"

Variant clsDR::QueryScalar(const QString& strSQL, const Variant& ValorPorDefecto, const QString& campoDevolver,
                           const QList<Variant>& params) {
    return basFuncionesComunes::ConsultaRapida(strSQL, campoDevolver, &CN(), ValorPorDefecto, params);
}

vb::ColeccionPtr clsDR::Query(const QString& strSQL, const QString& nombreTabla, const QList<Variant>& params) {
    auto resultado = std::make_shared<vb::coleccionGenerica>();
    ado::RecordsetPtr rs = CN().Execute(strSQL, nullptr, params);
    while (!rs->isEOF()) {
        auto entidad = std::make_shared<vb::entidadGenerica>();
        cargarEntidadConRegistroADODB(*entidad, *rs);
        entidad->Propiedad(QStringLiteral("__tabla"), Variant(nombreTabla));
        resultado->Add(entidad);
        rs->MoveNext();
    }
    rs->Close();
    return resultado;
}

bool clsDR::QueryExecute(const QString& strSQL, qint64* records_affected, const QList<Variant>& params) {
    if (records_affected)
        *records_affected = 0;
    return AtrapaErrores(QStringLiteral("clsDR.QueryExecute"), [&] { CN().Execute(strSQL, records_affected, params); });
}

vb::EntidadPtr clsDR::QueryFirst(const QString& strSQL, const QString& nombreTabla, const QList<Variant>& params) {
    vb::EntidadPtr entidad;
    vb::OnError(
        [&] {
            ado::RecordsetPtr rs = CN().Execute(strSQL, nullptr, params);
            if (!rs->isEOF() && !rs->isBOF()) {
                entidad = std::make_shared<vb::entidadGenerica>();
                cargarEntidadConRegistroADODB(*entidad, *rs);
                entidad->Propiedad(QStringLiteral("__tabla"), Variant(nombreTabla));
                rs->MoveNext();
            }
            rs->Close();
        },
        [&](const VBError& err) {
            // The number and source stay, so the caller's error handler still knows a lost link.
            throw VBError(err.number(),
                          QStringLiteral("clsDR.queryFirst: ") + err.description() + QStringLiteral("\r\n") + strSQL,
                          err.source());
        });
    return entidad;
}

void clsDR::cargarEntidadConRegistroADODB(vb::entidadGenerica& entidad, const ado::Recordset& registro) {
    AtrapaErrores(QStringLiteral("clsDR.cargarEntidadConRegistroADODB"), [&] {
        for (int i = 0; i < registro.FieldCount(); ++i) {
            const ado::Field& campo = registro.Fields(i);
            entidad.Propiedad(campo.Name, basFuncionesComunes::Vc(&campo, vb::Null()));
        }
    });
}

ado::Connection& clsDR::CN() {
    if (!mCN)
        mCN = &ConexionServidor();
    return *mCN;
}

void clsDR::setCN(ado::Connection* conexion) {
    mCN = conexion;
}

std::shared_ptr<vb::Dictionary> clsDR::key_tickets(qint32 idTPV, qint32 idTicket, qint32 idLinea, qint32 idSubTicket,
                                                   const QDateTime& Fecha, qint16 idSubCobro) {
    std::shared_ptr<vb::Dictionary> resultado;
    AtrapaErrores(QStringLiteral("clsDR.key_tickets"), [&] {
        auto d = std::make_shared<vb::Dictionary>();
        d->Add(QStringLiteral("idTPV"), Variant(idTPV));
        d->Add(QStringLiteral("idTicket"), Variant(idTicket));
        if (idLinea >= 0)
            d->Add(QStringLiteral("idLinea"), Variant(idLinea));
        // Date 0 is VB's zero date, 30/12/1899 00:00, or no date at all.
        static const QDateTime fechaCero(QDate(1899, 12, 30), QTime(0, 0));
        if (Fecha.isValid() && Fecha != fechaCero)
            d->Add(QStringLiteral("Fecha"), Variant(Fecha));
        if (idSubTicket >= 0)
            d->Add(QStringLiteral("idSubTicket"), Variant(idSubTicket));
        if (idSubCobro >= 0)
            d->Add(QStringLiteral("idSubCobro"), Variant(idSubCobro));
        resultado = d;
    });
    return resultado;
}

vb::CallableMembers clsDR::callableMembers() {
    const auto tabla = [](const vb::Arguments& a) { return a.size() > 1 ? vb::CStr(a[1]) : QString(); };
    return {
        {QStringLiteral("QueryScalar"), 1, 3,
         [this](const vb::Arguments& a) {
             return QueryScalar(vb::CStr(a[0]), a.size() > 1 ? a[1] : Variant(QString()),
                                a.size() > 2 ? vb::CStr(a[2]) : QString());
         }},
        {QStringLiteral("QueryFirst"), 1, 2,
         [this, tabla](const vb::Arguments& a) { return vb::FromObject(QueryFirst(vb::CStr(a[0]), tabla(a))); }},
        {QStringLiteral("Query"), 1, 2,
         [this, tabla](const vb::Arguments& a) { return vb::FromObject(Query(vb::CStr(a[0]), tabla(a))); }},
        {QStringLiteral("QueryExecute"), 1, 1,
         [this](const vb::Arguments& a) { return Variant(QueryExecute(vb::CStr(a[0]))); }},
    };
}

#pragma once
// Query helper: runs SQL on one connection and hands rows back as generic entities.
// Every operation takes optional bound values for "?" markers. QueryScalar, QueryFirst, Query and
// QueryExecute can also be called by name (the trigger rules' ejecutaFuncion).
#include "platform/Ado.h"
#include "platform/Collections.h"
#include "platform/LateBound.h"
#include <QList>

class clsDR : public vb::LateBound {
public:
    Variant QueryScalar(const QString& strSQL, const Variant& ValorPorDefecto = QString(),
                        const QString& campoDevolver = {}, const QList<Variant>& params = {});
    vb::ColeccionPtr Query(const QString& strSQL, const QString& nombreTabla = {}, const QList<Variant>& params = {});
    bool QueryExecute(const QString& strSQL, qint64* records_affected = nullptr, const QList<Variant>& params = {});
    vb::EntidadPtr QueryFirst(const QString& strSQL, const QString& nombreTabla = {},
                              const QList<Variant>& params = {});
    void cargarEntidadConRegistroADODB(vb::entidadGenerica& entidad, const ado::Recordset& registro);
    ado::Connection& CN();
    void setCN(ado::Connection* conexion);
    std::shared_ptr<vb::Dictionary> key_tickets(qint32 idTPV, qint32 idTicket, qint32 idLinea, qint32 idSubTicket,
                                                const QDateTime& Fecha, qint16 idSubCobro);
    vb::CallableMembers callableMembers() override;

private:
    ado::Connection* mCN = nullptr;
};

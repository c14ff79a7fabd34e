#pragma once
// The re-weigh window: the article, the live weight, the unit price and the amount of one ticket
// line (or of the article being weighed in weigh-first mode), accepted or cancelled by the user.
// The caller loads it, sets it up, shows it with MostrarModal, reads blnOk, Peso and Importe.
// Start-up registers it as the scale driver's re-weigh window (scale/ScaleWindowsPort.h).
#include "scale/ScaleWindowsPort.h"

#include <QDialog>
#include <QString>

class QLabel;
class QFrame;
class ctrBoton;
class clsComm;

class frmRecalcularPeso final : public QDialog, public ReweighWindowPort {
    Q_OBJECT
public:
    explicit frmRecalcularPeso(clsComm& comm, QWidget* parent = nullptr);
    ~frmRecalcularPeso() override;

    qint32 lngTPV = 0;
    qint32 lngTicket = 0;
    qint32 lngLinea = 0;
    bool blnOk = false;

    // The article: loads its description from articulo_generico.
    void setArticulo(qint32 lngArticulo) override;
    qint32 Articulo() const { return m_lngArticulo; }
    QString DescripcionArticulo() const { return m_strDescripcion; }
    double Precio() const { return m_dblPrecio; }
    void setPrecio(double dblPrecio) override;
    double Peso() const override { return m_dblPeso; }
    // Stores the weight, recomputes the amount and refreshes the labels.
    void setPeso(double dblPeso) override;
    void CambioPeso(double dblNuevoPeso) { setPeso(dblNuevoPeso); }
    double Importe() const override { return m_dblImporte; }
    void setModoRecalcularPeso(bool b) override { m_blnModoRecalcularPeso = b; }
    // Loads a ticket line: the article, the unit price by the price rule and the quantity. False
    // when the line does not exist.
    bool RefrescaDatos(qint32 tpv, qint32 ticket, qint32 linea) override;
    void RefrescaVisor();

    // Shows the window modally (through the prompts seam as "frmRecalcularPeso"); blnOk afterwards.
    bool MostrarModal() override;

private:
    // The two buttons' handlers.
    void ctrAceptar_Click();
    void ctrCancelar_Click();

    QLabel* lblPeso = nullptr;
    QLabel* lblPrecio = nullptr;
    QLabel* lblImporte = nullptr;
    QLabel* lblDescripcionArticulo = nullptr;
    QFrame* imgVisor = nullptr;
    ctrBoton* ctrAceptar = nullptr;
    ctrBoton* ctrCancelar = nullptr;
    clsComm& m_comm;
    qint32 m_lngArticulo = 0;
    QString m_strDescripcion;
    double m_dblPrecio = 0;
    double m_dblPeso = 0;
    double m_dblImporte = 0;
    double m_dblCantidad = 0;
    bool m_blnModoRecalcularPeso = false;
};

#pragma once
// frmComInternet: the program's client of the back-office web server. One window carries one HTTP
// request at a time, from the send to the reader that the caller chose by TipoResultado (0 delimited
// text into Datos, 1 sync text into Variables and table imports, 2 XML into Datos, 3 raw text left in
// Resultado); every request ends exactly once with ProcesoTerminado: read, failed (blnError) or timed
// out ("Error de tiempo de espera"). The window shows only while a modal service waits on it.
//
//     frmComInternet w;
//     coleccionTextos consultas;
//     consultas.Add("articulos", "select * from articulos");
//     w.Servicio_sql_Importar("backoffice.local", consultas); // asynchronous: wait for ProcesoTerminado
//
// Replies of modes 0 and 1 go through a file under tmp/ beside the program (UTF-16LE with BOM),
// deleted once read. Bodies are form-encoded: each value percent-encoded from its Windows-1252 bytes.
#include "backoffice/DRDatos.h"
#include "backoffice/accesoDatos.h"
#include "platform/Collections.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class frmComInternet final : public QDialog {
    Q_OBJECT
public:
    explicit frmComInternet(QWidget* parent = nullptr);
    ~frmComInternet() override;

    QString Resultado;            // the reply text; "Error de tiempo de espera"; "Error de conexión..."
    bool blnOk = false;           // the reply is complete and read
    bool blnError = false;        // connection error, HTTP error, reader failure or server errors
    coleccionTextos& Variables(); // named values of sync-text replies; kept across requests
    vb::Collection& colComandosSQL_AntesImportar(); // SQL texts run before a sync-text reply's tables
    vb::EntidadPtr eResponseObservable;             // held for the caller
    QString identificador_request;                  // held for the caller
    vb::EntidadPtr eRequest;                        // held for the caller
    QString SeparadorColumnas;
    qint32 TipoResultado = 0;
    vb::ColeccionPtr Datos; // rows of a delimited or XML reply (emptied when a request starts)
    std::shared_ptr<coleccionColumnas> Columnas;
    bool blnPrimeraLinea_tiene_datos_NoDefColumnas = false;
    double SegundosTimeOut = 0; // 0 means 20; the watchdog fires one second later
    bool Ocupado = false;

    accesoDatos& da(); // over ConexionServidor, made on first use

    void AbreURL(const QString& URL, const QString& strDatosEnviar, qint32 TipoResultado, const QString& strHeader,
                 const QString& TipoOperacion);

    // Service requests to the back-office server.
    void Servicio_sql_Importar(const QString& IP, coleccionTextos& pConsultas);
    void Servicio_sql_Exportar(const QString& IP, coleccionTextos& pConsultas);
    Variant Servicio_ConsultaSQL(const QString& strConsultaSql, const QString& strIP_Servidor = {});
    void PromocionesCliente(qint32 lngCliente, bool SoloPromocionesVigentes);
    // Message services: shown modally until the request ends; true only for a reply judged a success.
    bool Servicio_Drovanto(const QString& strURL, QString& strMensajeRespuesta, vb::ColeccionPtr& Resultado,
                           const QString& strDatosEnviar, const QString& strSeparadorColumnas);
    bool Servicio_Drovanto_RespuestaXML(const QString& strURL, QString& strMensajeRespuestaUsuario,
                                        vb::ColeccionPtr& Resultado, const QString& strDatosEnviar);

    // Readers; each ends the request (ProcesoTerminado), as failed when it cannot read the reply.
    void ProcesaTextoRecibido(const QString& strArchivoTexto);
    void ProcesaTexto_to_coleccionGenerica(const QString& strArchivoTexto);
    void ProcesaXML(const QString& strXML);
    static vb::EntidadPtr XMLtoEntidad(const QString& strXML);

    // A value for a form body: percent-encoded from its Windows-1252 bytes. A character that the code
    // page lacks goes as "?", with a log line naming the field.
    static QString CodificaValor(const QString& valor, const QString& campo);
    // A reply's text: by its leading byte-order mark; else by the charset of its Content-Type; else, for
    // an XML document, by the encoding of its declaration; else as Windows-1252.
    static QString TextoRespuesta(const QByteArray& bytes, const QString& contentType);
    // The server address from the configuration (IpAlternativaServidorCentral, else IpCentral, with
    // ":" puerto_central when set); "" when none.
    static QString DireccionServidorCentral();

signals:
    void ProcesoTerminado();

private:
    QLabel* lblEstado = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QPushButton* btnCancelar = nullptr;
    QPushButton* btnReintentar = nullptr;
    QTimer* Timer1 = nullptr; // the request watchdog

    void EjecutaPeticion();
    void Inet1_StateChanged(int State);
    void onReplyFinished();
    void Timer1_Timer();
    void btnCancelar_Click();
    void btnReintentar_Click();
    void procesaRespuesta();
    QString guardaRespuesta();
    void abandonaTransferencia();
    void esperaTransferenciaEnCurso();
    void estado(const QString& texto);
    void preparaServicio(qint32 tipo, bool primeraLineaDatos, const QString& separador);
    void importaRespuesta(const coleccionTextos& tablas);
    void terminaLectura(const QString& textoEstado);
    void terminaFallida();
    void esperaModal();
    static void avisaSinCp1252(const QString& texto, const QString& campo);
    // Sends a message request in the prepared mode and waits modally; the first row of the reply.
    vb::EntidadPtr enviaMensaje(const QString& url, const QString& cuerpo, vb::ColeccionPtr& Resultado);
    // Runs a reading step; an error inside it is reported under `procedimiento`, the file goes, and the
    // request ends as failed (false).
    bool atrapaLectura(const QString& procedimiento, const QString& archivo, const std::function<void()>& paso);

    QNetworkAccessManager* m_inet = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_bytes; // the reply as it arrives
    struct Peticion {
        QString url, cuerpo, cabecera, metodo;
    } m_peticion;
    std::unique_ptr<coleccionTextos> m_variables;
    std::shared_ptr<vb::Collection> m_comandosAntes;
    std::unique_ptr<accesoDatos> m_da;
};

#pragma once
// The parameter store: registry values overlaid by this till's configtpv rows.
#include "core/NombresParametros.h"
#include "platform/Variant.h"
#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

class clsParametro {
public:
    QString Nombre;
    Variant valor() const; // stored value trimmed (text), Null stays Null
    void setValor(const Variant& v);
    void ActValor(const Variant& v); // set and write to the registry (REG_SZ)
    // descriptive metadata nothing reads
    QString Depende, ConsultaSql, ValoresSql, DescripcionCastellano, descripcion, Padre;
    Variant DependeValor, vrnValDef;
    bool GrabarEnServidor = false;
    int Nivel = 0;
    qint32 TipoParametro = 0;
    QString DescripcionLarga() const { return m_descripcionLarga.isEmpty() ? descripcion : m_descripcionLarga; }
    void setDescripcionLarga(const QString& s) { m_descripcionLarga = s; }
    QStringList& ListCombo() { return m_listCombo; }
    void AddCombo(const QString& s) { m_listCombo << s; }

private:
    Variant m_valor;
    bool m_blnValorAsignado = false;
    QString m_descripcionLarga;
    QStringList m_listCombo;
};

class clsParametros {
public:
    void GetParamReg();
    void CargaParametrosDesdeServidor();
    // The parameter as its key says: its type and what a till that lacks it reads.
    template <class V, param::SiFalta F> V lee(const param::Clave<V, F>& clave) {
        return convierte<V>(clave.nombre, getValor(clave.nombre, F == param::SiFalta::Vacio));
    }
    // The same for the start-up, which must never stop half-way: a value that does not convert (for a
    // number, a text that is no number) is logged and read as false or 0. A missing parameter follows
    // the key's rule as everywhere.
    template <class V, param::SiFalta F> V leeAlArrancar(const param::Clave<V, F>& clave) {
        return convierteSinParar<V>(clave.nombre, getValor(clave.nombre, F == param::SiFalta::Vacio));
    }
    // The raw trimmed text under a name, for the configuration window, which edits text, and for the
    // store's own checks. A missing one ends the program after its message unless
    // blnDevolverVacioSiNoExiste, which gives "".
    QString getValor(const QString& strParametro, bool blnDevolverVacioSiNoExiste = false);
    void SetValor(const QString& strParametro, const Variant& vrnValor, bool blnGrabaEnServidor = false);
    void ImportarParametrosServidor(const QStringList& claves);
    bool isSkin2022() const { return false; }
    bool existe(const QString& strParametro) const;
    template <class V, param::SiFalta F> bool existe(const param::Clave<V, F>& clave) const {
        return existe(QString(clave.nombre));
    }
    void resetForTests();

private:
    // The conversions the key types name; convierteSinParar logs what does not convert (for a number,
    // a text that is no number) and gives false or 0.
    template <class V> static V convierte(const char* nombre, const QString& texto);
    template <class V> static V convierteSinParar(const char* nombre, const QString& texto);
    void InitParametros();
    struct Entry;
    std::unique_ptr<std::vector<std::shared_ptr<clsParametro>>> m_col; // null until InitParametros
    QHash<QString, std::shared_ptr<clsParametro>> m_indice;            // case-folded name -> parameter
    std::shared_ptr<clsParametro> find(const QString& name) const;
    void add(const std::shared_ptr<clsParametro>& p);
};

template <> QString clsParametros::convierte<QString>(const char*, const QString& texto);
template <> double clsParametros::convierte<double>(const char*, const QString& texto);
template <> qint32 clsParametros::convierte<qint32>(const char*, const QString& texto);
template <> qint16 clsParametros::convierte<qint16>(const char*, const QString& texto);
template <> bool clsParametros::convierte<bool>(const char*, const QString& texto);

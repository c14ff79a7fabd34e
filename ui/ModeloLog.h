#pragma once
// The rows of the main window's log grid. Every line is kept at once (up to the grid's row limit,
// then the grid starts again); the views hear of them only when the window publishes, so a burst of
// log lines costs one append each and the table is laid out and painted a few times a second.
#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

class ModeloLog final : public QAbstractTableModel {
    Q_OBJECT
public:
    ModeloLog(int filasMaximas, const QStringList& cabeceras, QObject* parent = nullptr);

    // Appends a row; a full grid is emptied first.
    void anade(const QString& fechaHora, const QString& concepto);
    // What the grid holds, published or not (column 0 the date and time, 1 the line).
    int filas() const { return int(m_filas.size()); }
    QString texto(int fila, int columna) const;
    // Tells the views the rows appended since the last time (all anew after the grid was emptied).
    // False when there was nothing new.
    bool publica();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Fila {
        QString fechaHora, concepto;
    };
    int m_filasMaximas;
    QStringList m_cabeceras;
    QList<Fila> m_filas; // the grid's contents
    QList<Fila> m_vista; // what the views have been told
    bool m_vaciada = false;
};

#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>

// An ordered two-way table of kind labels (shown) and kind codes (stored).
class MetaData : public QObject
{
    Q_OBJECT

public:
    explicit MetaData(QObject* parent = nullptr);

    void add(const QString& label, const QString& code);
    QString getCode(const QString& label) const;
    QString getLabel(const QString& code) const;
    QList<QPair<QString, QString>> getList() const;
    int count() const;

private:
    QList<QPair<QString, QString>> m_list;
    QMap<QString, QString> m_codes;
    QMap<QString, QString> m_labels;
};

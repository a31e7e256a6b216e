#pragma once

#include <QNetworkProxy>
#include <QObject>

class ModelConfig;
class ViewConfig;

// Moves the settings into the configuration panel and back on "Save", and installs
// the application-wide network proxy from the proxy settings.
class OpConfig : public QObject
{
    Q_OBJECT
public:
    explicit OpConfig(QObject* parent = nullptr);

    void setModel(ModelConfig* model);
    void setView(ViewConfig* view);

    // The port a proxy set-up uses for the stored port text.
    static quint16 proxyPortNumber(const QString& text);

signals:
    void modelChanged();

public slots:
    void changeDir();
    void updateModel();
    void updateGeneralLayout();
    void updateProxyLayout();
    void updateConfigLayout();
    void updateProxyModel();
    void doProxyConfiguration();
    void updateGeneralConfigModel();

private:
    static int keyIndex(int keyCode, int defaultKeyCode);
    int imgTypeIndex() const;

    ViewConfig* m_view = nullptr;
    ModelConfig* m_model = nullptr;
    QNetworkProxy m_proxy;
};

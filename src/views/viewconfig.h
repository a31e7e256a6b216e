#pragma once

#include <QString>
#include <QWidget>

class ModelConfig;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The configuration panel: image settings, the three hot-keys and the proxy, with
// "Save" and "Cancel". It only shows widgets; the controller fills and reads them.
class ViewConfig : public QWidget
{
    Q_OBJECT
public:
    explicit ViewConfig(QWidget* parent = nullptr);

    void setModel(ModelConfig* model) { m_model = model; }

    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* dirButton() const { return m_dirButton; }
    QGroupBox* configBox() const { return m_configBox; }
    QGroupBox* generalBox() const { return m_generalBox; }
    QGroupBox* proxyBox() const { return m_proxyBox; }
    QGroupBox* proxyAuthBox() const { return m_proxyAuthBox; }
    QLineEdit* dirEdit() const { return m_dirEdit; }
    QLineEdit* hostEdit() const { return m_hostEdit; }
    QLineEdit* portEdit() const { return m_portEdit; }
    QLineEdit* userEdit() const { return m_userEdit; }
    QLineEdit* passEdit() const { return m_passEdit; }
    QComboBox* fastCutCombo() const { return m_fastCutCombo; }
    QComboBox* normalCutCombo() const { return m_normalCutCombo; }
    QComboBox* fullScreenCombo() const { return m_fullScreenCombo; }
    QComboBox* imgTypeCombo() const { return m_imgTypeCombo; }
    QComboBox* proxyTypeCombo() const { return m_proxyTypeCombo; }
    QCheckBox* bootCheck() const { return m_bootCheck; }

private:
    void setTexts();
    void createConfigBox();
    void createGeneralBox();
    void fillGeneralCombos();
    void createProxyBox();
    void createProxyAuthBox();
    void createButtons();

    ModelConfig* m_model = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_dirButton = nullptr;
    QGroupBox* m_configBox = nullptr;
    QGroupBox* m_generalBox = nullptr;
    QGroupBox* m_proxyBox = nullptr;
    QGroupBox* m_proxyAuthBox = nullptr;
    QLineEdit* m_dirEdit = nullptr;
    QLineEdit* m_hostEdit = nullptr;
    QLineEdit* m_portEdit = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passEdit = nullptr;
    QComboBox* m_fastCutCombo = nullptr;
    QComboBox* m_normalCutCombo = nullptr;
    QComboBox* m_fullScreenCombo = nullptr;
    QComboBox* m_imgTypeCombo = nullptr;
    QComboBox* m_proxyTypeCombo = nullptr;
    QCheckBox* m_bootCheck = nullptr;

    QString m_configText;
    QString m_generalText;
    QString m_dirText;
    QString m_imgTypeText;
    QString m_bootText;
    QString m_proxyText;
    QString m_hostText;
    QString m_portText;
    QString m_typeText;
    QString m_proxyAuthText;
    QString m_userText;
    QString m_passText;
    QString m_saveText;
    QString m_cancelText;
};

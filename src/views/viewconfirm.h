#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class QPushButton;

// Shows a finished capture with "Save", "Save as..." and "Cancel"; the owner
// decides what the buttons do.
class ViewConfirm : public QWidget
{
    Q_OBJECT
public:
    explicit ViewConfirm(QWidget* parent = nullptr);

    void setImage(QPixmap image);
    QPushButton* getSaveBtn() const { return saveBtn; }
    QPushButton* getSaveAsBtn() const { return saveAsBtn; }
    QPushButton* getCancelBtn() const { return cancelBtn; }

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int buttonRowWidth() const;
    void placeButtons(int width, int height, int rowWidth);

    QPixmap picture;
    int pictureOffset;
    int sideMargin;
    int topMargin;
    int buttonBand;
    QPushButton* saveAsBtn;
    QPushButton* saveBtn;
    QPushButton* cancelBtn;
    QString saveText;
    QString saveAsText;
    QString cancelText;
};

#pragma once

#include <QWidget>

class QLabel;
class QMovie;

// Covers its parent while the program logs in or loads data: an animation, a text and a link that hides
// the overlay. Follows its parent's size.
class CWaitingWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CWaitingWidget(QWidget* parent);

    // Shows the overlay with this text ("Loading, please stand by..." when empty).
    void showMessage(const QString& text = QString());
    QString text() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QLabel* m_animation;
    QLabel* m_text;
    QMovie* m_movie;
};

#pragma once
// One line of the traffic monitor: a white box with a single-line border.
// Its caption can be long (a streaming device fills it); only the part that
// fits is ever laid out, and a caption that renders a growing text is
// extended by the new part instead of being rebuilt.

#include <QFrame>
#include <QString>

class MonitorLabel : public QFrame {
    Q_OBJECT
public:
    explicit MonitorLabel(QWidget *parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString &text);

    // Caption := the traffic rendering of source. When source extends the
    // text rendered last time, only its new part is rendered.
    void showRenderingOf(const QString &source);

    void setAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString text_;
    QString renderedSource_;
    bool textIsRendering_ = false;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

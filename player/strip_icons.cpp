// player/: the strip's button glyphs, painted as shapes on a 16-unit grid and scaled to the asked size.
#include "player/strip_icons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>

namespace player {

namespace {

class GlyphEngine : public QIconEngine {
public:
    explicit GlyphEngine(StripGlyph glyph) : m_glyph(glyph) {}

    QIconEngine* clone() const override { return new GlyphEngine(m_glyph); }
    QString key() const override { return QStringLiteral("corvana-strip-glyph"); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QPalette palette = QGuiApplication::palette();
        const QColor ink = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                         QPalette::ButtonText);
        const qreal side = qMin(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        painter->setPen(Qt::NoPen);
        painter->setBrush(ink);
        switch (m_glyph) {
        case StripGlyph::Play:
            painter->drawPolygon(QPolygonF({{4, 2}, {14, 8}, {4, 14}}));
            break;
        case StripGlyph::Stop:
            painter->drawRect(QRectF(3, 3, 10, 10));
            break;
        case StripGlyph::Volume:
        case StripGlyph::Muted:
            drawSpeaker(*painter, ink);
            break;
        }
        painter->restore();
    }

    // Qt asks for device pixels here (the requested size times the screen's ratio) and sets the ratio itself.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

private:
    void drawSpeaker(QPainter& painter, const QColor& ink) const {
        painter.drawPolygon(QPolygonF({{1, 6}, {4, 6}, {8, 2}, {8, 14}, {4, 10}, {1, 10}}));
        QPen pen(ink, 1.5, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (m_glyph == StripGlyph::Muted) {
            painter.drawLine(QPointF(10.5, 5.5), QPointF(15, 10.5));
            painter.drawLine(QPointF(15, 5.5), QPointF(10.5, 10.5));
            return;
        }
        // Two sound waves: arcs centred on the cone's mouth.
        painter.drawArc(QRectF(6, 5, 6, 6), -50 * 16, 100 * 16);
        painter.drawArc(QRectF(4, 2, 11, 12), -50 * 16, 100 * 16);
    }

    StripGlyph m_glyph;
};

} // namespace

QIcon StripIcon(StripGlyph glyph) {
    return QIcon(new GlyphEngine(glyph));
}

} // namespace player

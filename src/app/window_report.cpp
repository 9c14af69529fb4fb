#include "app/window_report.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QSaveFile>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "app/port_panels.h"

namespace termload {
namespace {

// Often enough for a script that waits on it, rarely enough to cost nothing.
constexpr int kWriteIntervalMs = 200;

QJsonObject Place(const QWidget* widget) {
    const QPoint centre = widget->mapToGlobal(widget->rect().center());
    return QJsonObject{{"x", centre.x()}, {"y", centre.y()}};
}

QJsonObject ButtonEntry(const QWidget* widget, const QString& text, bool checked) {
    QJsonObject entry = Place(widget);
    entry.insert("text", text);
    entry.insert("enabled", widget->isEnabled());
    entry.insert("checked", checked);
    return entry;
}

}  // namespace

WindowReport::WindowReport(QWidget* window, QString path)
    : window_(window), path_(std::move(path)) {
    connect(&timer_, &QTimer::timeout, this, &WindowReport::Write);
    timer_.start(kWriteIntervalMs);
}

WindowReport::~WindowReport() = default;

QString WindowReport::PathFromEnvironment() {
    return qEnvironmentVariable("TERMLOAD_WINDOW_REPORT");
}

QByteArray WindowReport::Describe() const {
    QJsonObject buttons;
    for (const QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
        if (!button->objectName().isEmpty() && button->isVisible()) {
            buttons.insert(button->objectName(),
                           ButtonEntry(button, button->text(), button->isChecked()));
        }
    }
    for (const QComboBox* box : window_->findChildren<QComboBox*>()) {
        if (!box->objectName().isEmpty() && box->isVisible()) {
            buttons.insert(box->objectName(), ButtonEntry(box, box->currentText(), false));
        }
    }
    QList<PortPanel*> shown = window_->findChildren<PortPanel*>();
    shown.removeIf([](const PortPanel* panel) { return !panel->isVisible(); });
    std::sort(shown.begin(), shown.end(), [](const PortPanel* a, const PortPanel* b) {
        return a->objectName().mid(3).toInt() < b->objectName().mid(3).toInt();
    });
    QJsonArray panels;
    for (const PortPanel* panel : shown) {
        panels.append(QJsonObject{
            {"port", panel->objectName().mid(3).toInt()},
            {"status", panel->Label()->text()},
            {"progress", panel->Bar()->value()},
            {"maximum", panel->Bar()->maximum()},
            {"done", static_cast<qint64>(panel->Tally().Done())},
            {"failed", static_cast<qint64>(panel->Tally().Failed())},
        });
    }
    const QJsonObject report{
        {"title", window_->windowTitle()}, {"buttons", buttons}, {"panels", panels}};
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
}

void WindowReport::Write() {
    const QByteArray report = Describe();
    if (report == written_) {
        return;
    }
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly) && file.write(report) == report.size() && file.commit()) {
        written_ = report;
    }
}

}  // namespace termload

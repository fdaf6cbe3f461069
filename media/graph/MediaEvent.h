// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "media/HResult.h"
#include "media/graph/SourceOutcome.h"

namespace corvane::media {

constexpr long EC_COMPLETE = 1;
constexpr long EC_USERABORT = 2;
constexpr long EC_ERRORABORT = 3;

// What the graph posts to the window armed with SetNotifyWindow.
class GraphNotifyEvent : public QEvent {
public:
    static QEvent::Type eventType();
    GraphNotifyEvent(long message, std::intptr_t instanceData)
        : QEvent(eventType()), message_(message), instanceData_(instanceData) {}
    long message() const { return message_; }
    std::intptr_t instanceData() const { return instanceData_; }

private:
    long message_;
    std::intptr_t instanceData_;
};

// The graph's event queue. Events are queued from streaming threads and taken by the
// thread that armed the notification.
class MediaEvent {
public:
    HRESULT GetEvent(long* code, std::intptr_t* param1, std::intptr_t* param2, long timeoutMs);
    HRESULT FreeEventParams(long code, std::intptr_t param1, std::intptr_t param2);
    // target nullptr disarms; every queued event then posts nothing.
    HRESULT SetNotifyWindow(QObject* target, long message, std::intptr_t instanceData);

    void post(long code, std::intptr_t param1 = 0, std::intptr_t param2 = 0);
    // The reason of the last EC_ERRORABORT, naming the file and the cause.
    QString errorDetail() const;
    void setErrorDetail(const QString& detail);
    // What each source reached so far delivered, in timeline order.
    std::vector<SourceOutcome> outcomes() const;
    void setOutcome(std::size_t index, const SourceOutcome& outcome);
    void clear();

private:
    struct Event {
        long code;
        std::intptr_t p1, p2;
    };
    mutable std::mutex mutex_;
    std::deque<Event> queue_;
    QPointer<QObject> target_;
    long message_ = 0;
    std::intptr_t instanceData_ = 0;
    QString errorDetail_;
    std::vector<SourceOutcome> outcomes_;
};

}  // namespace corvane::media

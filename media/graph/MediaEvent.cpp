// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/graph/MediaEvent.h"

#include <QCoreApplication>

#include "media/decoders/Fault.h"

namespace corvane::media {

QEvent::Type GraphNotifyEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

HRESULT MediaEvent::GetEvent(long* code, std::intptr_t* param1, std::intptr_t* param2, long) {
    if (!code || !param1 || !param2) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return E_ABORT;  // the platform's answer to an empty queue at timeout 0
    const Event e = queue_.front();
    queue_.pop_front();
    *code = e.code;
    *param1 = e.p1;
    *param2 = e.p2;
    return S_OK;
}

HRESULT MediaEvent::FreeEventParams(long, std::intptr_t, std::intptr_t) { return S_OK; }

HRESULT MediaEvent::SetNotifyWindow(QObject* target, long message, std::intptr_t instanceData) {
    if (HRESULT hr = Fault::check("MediaEvent::SetNotifyWindow"); FAILED(hr)) return hr;
    std::lock_guard lock(mutex_);
    target_ = target;
    message_ = message;
    instanceData_ = instanceData;
    return S_OK;
}

void MediaEvent::post(long code, std::intptr_t param1, std::intptr_t param2) {
    std::lock_guard lock(mutex_);
    queue_.push_back({code, param1, param2});
    if (target_)
        QCoreApplication::postEvent(target_.data(), new GraphNotifyEvent(message_, instanceData_));
}

QString MediaEvent::errorDetail() const {
    std::lock_guard lock(mutex_);
    return errorDetail_;
}

void MediaEvent::setErrorDetail(const QString& detail) {
    std::lock_guard lock(mutex_);
    errorDetail_ = detail;
}

std::vector<SourceOutcome> MediaEvent::outcomes() const {
    std::lock_guard lock(mutex_);
    return outcomes_;
}

void MediaEvent::setOutcome(std::size_t index, const SourceOutcome& outcome) {
    std::lock_guard lock(mutex_);
    if (outcomes_.size() <= index) outcomes_.resize(index + 1);
    outcomes_[index] = outcome;
}

void MediaEvent::clear() {
    std::lock_guard lock(mutex_);
    queue_.clear();
    errorDetail_.clear();
    outcomes_.clear();
}

}  // namespace corvane::media

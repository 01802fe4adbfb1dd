#include <condition_variable>
#include <mutex>
#include <thread>

#include "record/record_server.h"
#include "record/server/pg_session.h"

struct EarlyServerConnection::Opening {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;  // under mutex
    bool opened = false;
    std::atomic<bool> abandon{false};
    PgSession session;
    std::thread thread;
};

EarlyServerConnection::EarlyServerConnection(const std::string& url, uint32_t statementMs)
    : url_(url), opening_(std::make_unique<Opening>()) {
    Opening& opening = *opening_;
    opening.session.AbandonWhen(&opening.abandon);
    opening.thread = std::thread([&opening, url, statementMs] {
        // The statement limit is set now, so that the send itself is one round trip.
        const bool opened =
            opening.session.Open(url, 0, false) && opening.session.LimitStatements(statementMs);
        {
            const std::lock_guard<std::mutex> lock(opening.mutex);
            opening.opened = opened;
            opening.done = true;
        }
        opening.finished.notify_all();
    });
}

EarlyServerConnection::~EarlyServerConnection() {
    if (opening_ && opening_->thread.joinable()) {
        opening_->abandon = true;
        opening_->thread.join();
    }
}

std::optional<PgSession> EarlyServerConnection::Take(uint32_t waitMs) {
    if (!opening_ || !opening_->thread.joinable()) {
        return std::nullopt;
    }
    Opening& opening = *opening_;
    {
        std::unique_lock<std::mutex> lock(opening.mutex);
        if (!opening.finished.wait_for(lock, std::chrono::milliseconds(waitMs),
                                       [&opening] { return opening.done; })) {
            return std::nullopt;
        }
    }
    opening.thread.join();
    if (!opening.opened) {
        return std::nullopt;
    }
    opening.session.AbandonWhen(nullptr);
    return std::move(opening.session);
}

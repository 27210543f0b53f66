#include "app/photo_loader.h"

#include "app/trash.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

// Trivially destructible, so that it stays usable while the process ends.
std::atomic<int> running_threads{0};

// How long letting go waits for work that was asked to stop: enough for a
// decode to reach its next row, short enough to feel immediate.
constexpr std::chrono::milliseconds grace_on_quitting{100};

// What the view's thread and the workers share; each worker keeps it alive.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;  // jobs wanted, quitting, or a thread ended
    std::vector<PictureJob> wanted;  // most wanted first, none in hand or done
    std::vector<PictureJob> posted;  // done, their results not yet taken
    std::vector<PictureJobDone> done;
    std::vector<TrashJobDone> trashed;
    const PictureJob* in_hand = nullptr;  // the decoder thread's job, while it works
    std::shared_ptr<DecodeStop> stop;  // the job in hand's
    bool quitting = false;
    int threads = 0;  // running on this
    std::function<void()> wake;

    bool posted_already(const PictureJob& job) const {
        return std::any_of(posted.begin(), posted.end(), [&job](const PictureJob& p) { return p.same(job); });
    }
    // Under the mutex, and never after let_go.
    void result_ready() {
        if (!quitting && wake) wake();
    }
    void thread_ends() {
        std::lock_guard<std::mutex> lock(mutex);
        --threads;
        changed.notify_all();
    }
};

void decode_jobs(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    for (;;) {
        PictureJob job;
        std::shared_ptr<DecodeStop> stop;
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            s.changed.wait(lock, [&s] { return s.quitting || !s.wanted.empty(); });
            if (s.quitting) break;
            job = std::move(s.wanted.front());
            s.wanted.erase(s.wanted.begin());
            s.in_hand = &job;
            stop = s.stop = std::make_shared<DecodeStop>();
        }
        DecodedPicture picture = decode_picture(job.path, job.request, *stop);
        std::lock_guard<std::mutex> lock(s.mutex);
        s.in_hand = nullptr;
        s.stop.reset();
        if (s.quitting) break;
        if (picture.outcome.result == PictureResult::cancelled) continue;
        s.posted.push_back(job);
        s.done.push_back({std::move(job), std::move(picture)});
        s.result_ready();
    }
}

class PictureLoader final : public PictureWork {
public:
    ~PictureLoader() override { let_go(); }

    void start(std::function<void()> wake) override {
        if (decoder_.joinable()) return;
        shared_->wake = std::move(wake);
        decoder_ = launch([](const std::shared_ptr<Shared>& s) { decode_jobs(s); });
    }

    void want(std::vector<PictureJob> jobs) override {
        Shared& s = *shared_;
        std::lock_guard<std::mutex> lock(s.mutex);
        const bool in_hand_wanted =
            s.in_hand != nullptr &&
            std::any_of(jobs.begin(), jobs.end(), [&s](const PictureJob& j) { return j.same(*s.in_hand); });
        if (s.in_hand != nullptr && !in_hand_wanted && s.stop) s.stop->request();
        s.wanted.clear();
        for (PictureJob& job : jobs)
            if (!s.posted_already(job) && (s.in_hand == nullptr || !job.same(*s.in_hand)))
                s.wanted.push_back(std::move(job));
        s.changed.notify_all();
    }

    void trash(uint32_t id, const std::string& path) override {
        std::thread mover = launch([id, path](const std::shared_ptr<Shared>& s) {
            const TrashResult result = move_to_trash(path);
            std::lock_guard<std::mutex> lock(s->mutex);
            s->trashed.push_back({id, result.moved, result.reason});
            s->result_ready();
        });
        if (!mover.joinable()) {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->trashed.push_back({id, false, "no thread could be started to move it"});
            shared_->result_ready();
            return;
        }
        mover.detach();
    }

    void take(std::vector<PictureJobDone>& pictures, std::vector<TrashJobDone>& trashed) override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        pictures = std::move(shared_->done);
        trashed = std::move(shared_->trashed);
        shared_->done.clear();
        shared_->trashed.clear();
        shared_->posted.clear();
    }

    void let_go() override {
        Shared& s = *shared_;
        std::unique_lock<std::mutex> lock(s.mutex);
        if (s.quitting) return;
        s.quitting = true;
        s.wanted.clear();
        if (s.stop) s.stop->request();
        s.changed.notify_all();
        const bool ended = s.changed.wait_for(lock, grace_on_quitting, [&s] { return s.threads == 0; });
        lock.unlock();
        // A thread still running keeps its own share of what it works on.
        if (decoder_.joinable()) {
            if (ended)
                decoder_.join();
            else
                decoder_.detach();
        }
    }

private:
    // A thread running `body` over the shared state, counted while it runs;
    // not joinable when none could be started.
    template <typename Body>
    std::thread launch(Body body) {
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            ++shared_->threads;
        }
        running_threads.fetch_add(1);
        try {
            return std::thread([shared = shared_, body] {
                body(shared);
                // Counted off before the shared count, which let_go waits on,
                // so that a thread it saw end is no longer counted here.
                running_threads.fetch_sub(1);
                shared->thread_ends();
            });
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        running_threads.fetch_sub(1);
        shared_->thread_ends();
        return std::thread();
    }

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread decoder_;
};

}  // namespace

std::unique_ptr<PictureWork> make_picture_work() { return std::make_unique<PictureLoader>(); }

int picture_work_threads_running() { return running_threads.load(); }

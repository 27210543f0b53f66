// The photo view's waits, measured on the decodes its worker thread runs
// (decode_picture): for each picture and a view of the given size, the
// reduced preview a jump shows first, the picture for the view, the whole
// picture at full resolution (what zooming to 1:1 asks for), and how soon a
// stop request ends a full-resolution decode in progress (requested at
// points spread over the decode). Medians of the repetitions, and the worst
// stop.
//
//   photo-latency [--view WIDTHxHEIGHT] [--reps N] FILE...
#include "app/picture_decode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The whole picture, fitted into `width` x `height`.
PictureRequest whole_fitted(int32_t width, int32_t height) {
    PictureRequest r;
    r.box_width = width, r.box_height = height;
    return r;
}

// Milliseconds for one decode of `request`, or a negative value when the
// picture is not shown.
double time_decode(const std::string& path, const PictureRequest& request) {
    DecodeStop keep_going;
    const auto start = Clock::now();
    const DecodedPicture d = decode_picture(path, request, keep_going);
    const double ms = ms_since(start);
    return d.outcome.result == PictureResult::shown || d.outcome.result == PictureResult::incomplete ? ms : -1;
}

// Milliseconds from a stop request, `after_ms` into a decode of `request`,
// to the decode's return; negative when the decode ended before the request.
double time_stop(const std::string& path, const PictureRequest& request, double after_ms) {
    DecodeStop stop;
    Clock::time_point returned;
    PictureResult result = PictureResult::shown;
    std::thread worker([&] {
        result = decode_picture(path, request, stop).outcome.result;
        returned = Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(after_ms));
    const auto asked = Clock::now();
    stop.request();
    worker.join();
    if (result != PictureResult::cancelled || returned < asked) return -1;
    return std::chrono::duration<double, std::milli>(returned - asked).count();
}

}  // namespace

int main(int argc, char** argv) {
    int32_t view_width = 1920, view_height = 1080;
    int reps = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--view" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &view_width, &view_height) != 2 || view_width < 4 || view_height < 4) {
                std::fprintf(stderr, "photo-latency: --view takes WIDTHxHEIGHT\n");
                return 2;
            }
        } else if (arg == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "usage: photo-latency [--view WIDTHxHEIGHT] [--reps N] FILE...\n");
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: photo-latency [--view WIDTHxHEIGHT] [--reps N] FILE...\n");
        return 2;
    }
    std::printf("view %d x %d, %d repetitions, milliseconds (median; stop: median and worst)\n", view_width,
                view_height, reps);
    std::printf("%-36s %9s %9s %9s %13s\n", "picture", "preview", "view", "full", "stop");
    int status = 0;
    for (const std::string& path : files) {
        DecodeStop keep_going;
        const DecodedPicture probe = decode_picture(path, whole_fitted(view_width / 4, view_height / 4), keep_going);
        const PictureFacts& facts = probe.outcome.facts;
        if (!probe.image) {
            std::printf("%-36s not shown: %s\n", path.c_str(), probe.outcome.reason.c_str());
            status = 1;
            continue;
        }
        std::vector<double> preview, view, full, stops;
        for (int r = 0; r < reps; ++r) {
            preview.push_back(time_decode(path, whole_fitted(view_width / 4, view_height / 4)));
            view.push_back(time_decode(path, whole_fitted(view_width, view_height)));
            full.push_back(time_decode(path, whole_fitted(facts.width, facts.height)));
        }
        const double full_ms = median(full);
        // Requests spread from 5% to 95% of a full decode's time.
        for (int r = 0; r < std::max(reps, 10); ++r) {
            const double at = full_ms * (0.05 + 0.9 * r / std::max(reps - 1, 9));
            const double ms = time_stop(path, whole_fitted(facts.width, facts.height), at);
            if (ms >= 0) stops.push_back(ms);
        }
        const std::string name = path.substr(path.find_last_of('/') + 1) + " (" + std::to_string(facts.width) + "x" +
                                 std::to_string(facts.height) + ")";
        char stop_text[32] = "-";
        if (!stops.empty())
            std::snprintf(stop_text, sizeof stop_text, "%.1f / %.1f", median(stops),
                          *std::max_element(stops.begin(), stops.end()));
        std::printf("%-36s %9.1f %9.1f %9.1f %13s\n", name.c_str(), median(preview), median(view), full_ms, stop_text);
    }
    return status;
}

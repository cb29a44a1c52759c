// Measures a running vantor-mqtt from the outside, over a window of N seconds:
//  - latency: the time a sample appeared in the shared data block (watched
//    here every 250 us, so up to that much late) -> the time the message with
//    it reached this subscriber; p50, p99 and max over every analog message;
//  - messages and samples per second received;
//  - the bridge's CPU share of one core (utime + stime from /proc/<pid>/stat);
//  - sequence continuity: next.seq == prev.seq + prev.count on every channel.
// bench/mqtt/bridge-run.sh starts the broker, server and bridge around it.
#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/BlockClient.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"

using namespace vantor::protocol;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kWatchEvery = std::chrono::microseconds(250);

double Ms(Clock::time_point t, Clock::time_point origin) {
    return std::chrono::duration<double, std::milli>(t - origin).count();
}

struct Arrival {
    int channel = 0;
    Clock::time_point at;
    std::string payload;
};

struct Analog {
    unsigned long long seq = 0;
    int count = 0;
    std::vector<float> values;
};

bool ParseAnalog(const std::string& payload, Analog& a) {
    int used = 0;
    if (std::sscanf(payload.c_str(), "{\"seq\":%llu,\"count\":%d,\"t\":%*f,\"values\":[%n", &a.seq,
                    &a.count, &used) < 2 ||
        used == 0) {
        return false;
    }
    const char* p = payload.c_str() + used;
    for (int i = 0; i < a.count; ++i) {
        char* end = nullptr;
        a.values.push_back(std::strtof(p, &end));
        if (end == p) return false;
        p = end + 1;
    }
    return true;
}

// Every sample of every ring as it appears, with the time it was seen.
struct Watched {
    std::vector<float> values;
    std::vector<Clock::time_point> seen;
};

class Watcher {
public:
    bool Attach() {
        BlockClient probe;
        for (int i = 0; i < 100; ++i) {
            if (probe.Attach() == BlockClient::Status::Attached)
                return m_block.Create(kBlockName, kBlockSize);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void Start() {
        m_thread = std::thread([this] { Run(); });
    }
    void Stop() {
        m_stop.store(true);
        m_thread.join();
    }
    const Watched& Channel(int c) const { return m_channels[static_cast<size_t>(c)]; }

private:
    void Run() {
        std::array<int, kAnalogChannels> last{};
        last.fill(-1);
        while (!m_stop.load()) {
            {
                BlockLock lock(m_block);
                const auto* b = static_cast<const SharedBlock*>(m_block.GetData());
                const auto now = Clock::now();
                for (int c = 0; c < kAnalogChannels && b != nullptr; ++c) {
                    const AnalogRing& ring = b->analogRing[c];
                    const int next =
                        static_cast<int>(static_cast<uint32_t>(ring.next) % kRingSlots);
                    int& prev = last[static_cast<size_t>(c)];
                    if (prev >= 0) {
                        Watched& w = m_channels[static_cast<size_t>(c)];
                        for (int i = prev; i != next; i = (i + 1) % kRingSlots) {
                            w.values.push_back(ring.samples[i]);
                            w.seen.push_back(now);
                        }
                    }
                    prev = next;
                }
            }
            std::this_thread::sleep_for(kWatchEvery);
        }
    }

    CSharedMemory m_block;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::array<Watched, kAnalogChannels> m_channels;
};

class Subscriber {
public:
    bool Start(int port, const std::string& station) {
        ::mosquitto_lib_init();
        m_topic = "vantor/" + station + "/analog/+";
        m_prefix = "vantor/" + station + "/analog/";
        m_mosq = ::mosquitto_new(nullptr, true, this);
        ::mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void* self, int rc) {
            if (rc == 0)
                ::mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->m_topic.c_str(),
                                      0);
        });
        ::mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* msg) {
                const auto at = Clock::now();
                auto* s = static_cast<Subscriber*>(self);
                const std::string topic = msg->topic;
                if (topic.compare(0, s->m_prefix.size(), s->m_prefix) != 0) return;
                Arrival a{std::atoi(topic.c_str() + s->m_prefix.size()), at,
                          std::string(static_cast<const char*>(msg->payload),
                                      static_cast<size_t>(msg->payloadlen))};
                std::lock_guard lock(s->m_mutex);
                s->m_arrivals.push_back(std::move(a));
            });
        // The broker may still be starting: the library retries.
        ::mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
        ::mosquitto_connect_async(m_mosq, "127.0.0.1", port, 30);
        return ::mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
    }
    void Stop() {
        ::mosquitto_disconnect(m_mosq);
        ::mosquitto_loop_stop(m_mosq, true);
        ::mosquitto_destroy(m_mosq);
    }
    std::vector<Arrival> Take() {
        std::lock_guard lock(m_mutex);
        return std::move(m_arrivals);
    }
    int ChannelsHeard() {
        std::lock_guard lock(m_mutex);
        std::array<bool, kAnalogChannels> heard{};
        for (const Arrival& a : m_arrivals) {
            if (a.channel >= 0 && a.channel < kAnalogChannels)
                heard[static_cast<size_t>(a.channel)] = true;
        }
        return static_cast<int>(std::count(heard.begin(), heard.end(), true));
    }

private:
    std::string m_topic;
    std::string m_prefix;
    mosquitto* m_mosq = nullptr;
    std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
};

long CpuTicks(long pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::vector<std::string> fields;
    size_t pos = close + 2;
    while (pos < text.size()) {
        const size_t space = text.find(' ', pos);
        fields.push_back(text.substr(pos, space - pos));
        if (space == std::string::npos) break;
        pos = space + 1;
    }
    // fields[0] is field 3 (state): utime is field 14, stime field 15.
    if (fields.size() < 13) return -1;
    return std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

// Index in w of the sample that a message's first value is: the latest run
// of w equal to the message's values and seen before it arrived.
long Align(const Watched& w, const Analog& a, Clock::time_point arrived) {
    const auto n = static_cast<long>(w.values.size());
    for (long start = n - a.count; start >= 0; --start) {
        if (w.seen[static_cast<size_t>(start + a.count - 1)] > arrived) continue;
        if (std::equal(a.values.begin(), a.values.end(), w.values.begin() + start)) return start;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 1883;
    long pid = 0;
    int seconds = 10;
    std::string station = "bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--port") port = std::atoi(argv[i + 1]);
        if (opt == "--pid") pid = std::atol(argv[i + 1]);
        if (opt == "--seconds") seconds = std::atoi(argv[i + 1]);
        if (opt == "--station") station = argv[i + 1];
    }
    Watcher watcher;
    if (!watcher.Attach()) {
        std::fprintf(stderr, "no shared data block\n");
        return 1;
    }
    Subscriber sub;
    if (!sub.Start(port, station)) {
        std::fprintf(stderr, "cannot reach the broker on port %d\n", port);
        return 1;
    }
    watcher.Start();
    const auto patience = Clock::now() + std::chrono::seconds(30);
    while (sub.ChannelsHeard() < kAnalogChannels && Clock::now() < patience) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const int heard = sub.ChannelsHeard();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // past start-up

    const auto begin = Clock::now();
    const long ticks0 = CpuTicks(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long ticks1 = CpuTicks(pid);
    const auto end = Clock::now();
    // Messages of samples seen before the end may still be on their way.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sub.Stop();
    watcher.Stop();

    std::vector<Arrival> arrivals = sub.Take();
    std::array<long, kAnalogChannels> offset{};
    offset.fill(-1);
    std::array<long long, kAnalogChannels> expect{};
    expect.fill(-1);
    std::vector<double> latency;
    long messages = 0, samples = 0, gaps = 0, unmatched = 0, bad = 0;
    for (const Arrival& arr : arrivals) {
        Analog a;
        if (arr.channel < 0 || arr.channel >= kAnalogChannels || !ParseAnalog(arr.payload, a) ||
            a.count <= 0) {
            ++bad;
            continue;
        }
        const auto c = static_cast<size_t>(arr.channel);
        if (expect[c] >= 0 && static_cast<long long>(a.seq) != expect[c]) ++gaps;
        expect[c] = static_cast<long long>(a.seq + static_cast<unsigned long long>(a.count));
        if (arr.at < begin || arr.at >= end) continue;
        ++messages;
        samples += a.count;
        const Watched& w = watcher.Channel(arr.channel);
        if (offset[c] < 0) {
            const long start = Align(w, a, arr.at);
            if (start < 0) {
                ++unmatched;
                continue;
            }
            offset[c] = start - static_cast<long>(a.seq);
        }
        const long lastIndex = offset[c] + static_cast<long>(a.seq) + a.count - 1;
        if (lastIndex < 0 || lastIndex >= static_cast<long>(w.values.size()) ||
            w.values[static_cast<size_t>(lastIndex)] != a.values.back()) {
            ++unmatched;
            continue;
        }
        latency.push_back(Ms(arr.at, w.seen[static_cast<size_t>(lastIndex)]));
    }
    const double span = std::chrono::duration<double>(end - begin).count();
    const double hz = static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::printf("channels heard:   %d of %d\n", heard, kAnalogChannels);
    std::printf("window:           %.1f s\n", span);
    std::printf("messages/s:       %.0f\n", static_cast<double>(messages) / span);
    std::printf("samples/s:        %.0f (%.1f per message)\n", static_cast<double>(samples) / span,
                messages > 0 ? static_cast<double>(samples) / static_cast<double>(messages) : 0.0);
    std::printf(
        "latency ms:       p50 %.2f  p99 %.2f  max %.2f  (%zu messages, block seen every %lld "
        "us)\n",
        Percentile(latency, 0.5), Percentile(latency, 0.99), Percentile(latency, 1.0),
        latency.size(), static_cast<long long>(kWatchEvery.count()));
    std::printf(
        "bridge CPU:       %.2f %% of one core\n",
        ticks0 < 0 || ticks1 < 0 ? -1.0 : static_cast<double>(ticks1 - ticks0) * 100 / hz / span);
    std::printf("sequence gaps:    %ld (unmatched %ld, unreadable %ld)\n", gaps, unmatched, bad);
    return gaps == 0 && heard == kAnalogChannels ? 0 : 1;
}

#include "station/station.h"

#include <chrono>

#include "station/slot.h"

namespace mirelle::station {

const char* StateWord(SlotState state) {
    switch (state) {
        case SlotState::kStopped: return "STOPPED";
        case SlotState::kWaiting: return "WAITING";
        case SlotState::kBusy: return "BUSY";
        case SlotState::kPassed: return "PASS";
        case SlotState::kFailed: return "FAIL";
        case SlotState::kStopping: return "STOPPING";
    }
    return "";
}

struct Station::Impl {
    Job job;
    std::string program_dir;
    StationShared shared;
    std::vector<std::unique_ptr<Slot>> slots;  // after `shared`: they end first
};

Station::Station(Job job, std::string program_dir) : impl_(std::make_unique<Impl>()) {
    impl_->job = std::move(job);
    impl_->program_dir = std::move(program_dir);
    if (!impl_->program_dir.empty() && impl_->program_dir.back() != '/' && impl_->program_dir.back() != '\\')
        impl_->program_dir += '/';
    const auto& job_slots = impl_->job.slots;
    for (std::size_t i = 0; i < job_slots.size(); ++i) {
        SlotView v;
        v.index = static_cast<int>(i);
        v.name = job_slots[i].name;
        v.port = job_slots[i].port;
        impl_->shared.views.push_back(v);
    }
    for (std::size_t i = 0; i < job_slots.size(); ++i)
        impl_->slots.push_back(std::make_unique<Slot>(impl_->job, static_cast<int>(i), impl_->program_dir, impl_->shared));
}

Station::~Station() {
    // Every slot is told at once, then each is waited for.
    StopAll();
    impl_->slots.clear();
}

const Job& Station::GetJob() const { return impl_->job; }

int Station::SlotCount() const { return static_cast<int>(impl_->slots.size()); }

void Station::Start(int slot) {
    if (slot >= 0 && slot < SlotCount()) impl_->slots[static_cast<std::size_t>(slot)]->Start();
}

void Station::Stop(int slot) {
    if (slot >= 0 && slot < SlotCount()) impl_->slots[static_cast<std::size_t>(slot)]->Stop();
}

void Station::StartAll() {
    for (auto& s : impl_->slots) s->Start();
}

void Station::StopAll() {
    for (auto& s : impl_->slots) s->Stop();
}

void Station::SetUnitLimit(long long units) {
    {
        std::lock_guard lock(impl_->shared.mutex);
        impl_->shared.unit_limit = units > 0 ? units : 0;
        impl_->shared.units_started = 0;
    }
    impl_->shared.wake.notify_all();
}

void Station::PressKey(int slot) {
    if (slot >= 0 && slot < SlotCount()) impl_->slots[static_cast<std::size_t>(slot)]->PressKey();
}

StationView Station::Snapshot() const {
    StationView view;
    std::lock_guard lock(impl_->shared.mutex);
    view.slots = impl_->shared.views;
    for (const SlotView& s : view.slots) {
        view.passed += s.passed;
        view.failed += s.failed;
        view.any_running = view.any_running || s.state != SlotState::kStopped;
    }
    if (impl_->shared.first_start) {
        const double hours =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - *impl_->shared.first_start).count() / 3600.0;
        if (hours > 0) view.units_per_hour = static_cast<double>(impl_->shared.verdict_count) / hours;
    }
    return view;
}

std::vector<Verdict> Station::TakeVerdicts() {
    std::lock_guard lock(impl_->shared.mutex);
    std::vector<Verdict> out;
    out.swap(impl_->shared.verdicts);
    return out;
}

bool Station::AllStopped() const {
    std::lock_guard lock(impl_->shared.mutex);
    for (const SlotView& s : impl_->shared.views)
        if (s.state != SlotState::kStopped) return false;
    return true;
}

}  // namespace mirelle::station

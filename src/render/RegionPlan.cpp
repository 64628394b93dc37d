#include "render/RegionPlan.h"

#include <atomic>
#include <functional>

#include "kernels/KernelLaunch.h"
#include "kernels/KernelPasses.h"
#include "kernels/cpu/RowRegion.h"
#include "log/PluginLog.h"

namespace {

// Up to this side texel-centred coordinates are exact; beyond it every read may spread one texel.
constexpr int kExactSide = 4096;

// A node of the pass graph: a pass of a run; `pass` -1 marks "no pass" (an input of the render).
struct Node {
    int run = -1, pass = -1;
    bool exists() const { return run >= 0; }
};

KernelLaunchArgs argsOf(const PlannedPass& p, GpuStream stream) {
    static const PipelineParameters pipeline{};
    static const BundledResources resources{};
    static const DeviceBuffers buffers{};
    return KernelLaunchArgs{stream,     &p.system, &pipeline, &p.sources, &p.parameters,
                            &resources, &buffers,  0,         0};
}

std::atomic<bool> plansEnabled{true};

}  // namespace

void setRegionPlansEnabled(bool enabled) {
    plansEnabled.store(enabled);
}

bool regionPlansEnabled() {
    return plansEnabled.load();
}

RegionPlan::RegionPlan(GpuRuntime& gpu) : gpu_(gpu) {}

RegionPlan::~RegionPlan() {
    clear();
}

void RegionPlan::clear() {
    if (deviceTiles_) gpu_.free(deviceTiles_);
    deviceTiles_ = nullptr;
    runs_.clear();
    tiles_.clear();
    active_ = false;
    changed_ = frameTiles_ = 0;
}

const RunRegions* RegionPlan::run(std::size_t index) const {
    return active_ && index < runs_.size() ? &runs_[index] : nullptr;
}

bool RegionPlan::build(int width, int height, int inputCount, int processCount,
                       const std::vector<PlannedRun>& runs, GpuStream stream) {
    clear();
    if (width <= 0 || height <= 0 || runs.empty() || !runs.back().final) return false;
    const int margin = width > kExactSide || height > kExactSide ? 1 : 0;
    // The identity outside the region is a pixel's own read of an input: it must be the texel.
    if (margin &&
        !cpu_fast::offTexelTiles(cpu_fast::TexelReads(), cpu_fast::RowRegion::wholeFrame(width, height))
             .empty()) {
        VLOG_DEBUG("Region plan: %dx%d reads off texel centres - whole frame", width, height);
        return false;
    }

    // What each pass reads, and which pass wrote what it reads.
    const std::size_t R = runs.size();
    std::vector<std::vector<PassReach>> reach(R);
    std::vector<int> lastWriter(static_cast<std::size_t>(processCount > 0 ? processCount : 0), -1);
    struct Read {
        Node from;
        bool copy;  // read through the process buffer of run from.run
        ReadWindow window;
    };
    std::vector<std::vector<std::vector<Read>>> reads(R);
    auto producer = [&](int slot, Read& read) {
        // The render's inputs, and the effect output (never written within one execution).
        if (slot < 0 || slot <= inputCount) return true;
        const int process = slot - inputCount - 1;
        if (process >= processCount) return false;  // an accumulation buffer: not planned
        const int writer = lastWriter[static_cast<std::size_t>(process)];
        if (writer >= 0)
            read.from =
                Node{writer, static_cast<int>(runs[static_cast<std::size_t>(writer)].passes.size()) - 1};
        read.copy = true;
        return true;
    };
    for (std::size_t r = 0; r < R; ++r) {
        const PlannedRun& run = runs[r];
        if (run.passes.empty()) return false;
        reach[r].resize(run.passes.size());
        reads[r].resize(run.passes.size());
        for (std::size_t i = 0; i < run.passes.size(); ++i) {
            const PlannedPass& pass = run.passes[i];
            PassReach& pr = reach[r][i];
            if (!kernelPassReach(pass.file, argsOf(pass, stream), pr)) {
                VLOG_DEBUG("Region plan: %s cannot bound its reads - whole frame", pass.file.c_str());
                return false;
            }
            for (const auto& source : pr.sources) {
                Read read{Node(), false, source.second};
                if (!producer(source.first, read)) return false;
                if (read.from.exists()) reads[r][i].push_back(read);
            }
            if (pr.readsWorking) {
                Read read{Node(), false, pr.working};
                if (i > 0) {
                    read.from = Node{static_cast<int>(r), static_cast<int>(i) - 1};
                } else if (!producer(chooseWorkingSlot(pass.system, pass.sources, inputCount), read)) {
                    return false;
                }
                if (read.from.exists()) reads[r][i].push_back(read);
            }
        }
        if (!run.final && run.process >= 0 && run.process < processCount)
            lastWriter[static_cast<std::size_t>(run.process)] = static_cast<int>(r);
    }

    // The region the effect can change: where the final pass's support slot is non-zero.
    const PassReach& last = reach.back().back();
    if (!last.identityOutside || last.identitySlot < 0 || last.identitySlot >= inputCount) return false;
    Read supportRead{Node(), false, ReadWindow()};
    if (!producer(last.identitySupportSlot, supportRead) || !supportRead.from.exists()) return false;
    // Where the output of pass (r, i) can be non-zero; a full map when anywhere.
    std::function<TileMap(Node)> support = [&](Node node) -> TileMap {
        const PassReach& pr = reach[static_cast<std::size_t>(node.run)][static_cast<std::size_t>(node.pass)];
        const PlannedPass& pass =
            runs[static_cast<std::size_t>(node.run)].passes[static_cast<std::size_t>(node.pass)];
        if (pr.supportWindow.reflect) return TileMap(width, height, true);
        if (pr.support == PassReach::Support::Scanned) {
            std::vector<unsigned char> flags;
            if (!scanKernelPassSupport(pass.file, argsOf(pass, stream), flags))
                return TileMap(width, height, true);
            TileMap scanned(width, height);
            for (int ty = 0; ty < scanned.tilesY(); ++ty)
                for (int tx = 0; tx < scanned.tilesX(); ++tx)
                    if (flags[static_cast<std::size_t>(ty) * scanned.tilesX() + tx]) scanned.add(tx, ty);
            return scanned.grownBy(pr.supportWindow, margin);
        }
        if (pr.support == PassReach::Support::OfWorking) {
            Node working;
            if (node.pass > 0) {
                working = Node{node.run, node.pass - 1};
            } else {
                Read read{Node(), false, ReadWindow()};
                if (producer(chooseWorkingSlot(pass.system, pass.sources, inputCount), read))
                    working = read.from;
            }
            if (!working.exists()) return TileMap(width, height, true);
            return support(working).grownBy(pr.supportWindow, margin);
        }
        return TileMap(width, height, true);
    };
    const TileMap changed = support(supportRead.from);
    if (changed.full()) {
        VLOG_DEBUG("Region plan: the effect can change the whole frame");
        return false;
    }

    // Backwards: each pass computes what the passes after it read.
    std::vector<std::vector<TileMap>> needed(R);
    std::vector<TileMap> copied(R, TileMap(width, height));
    for (std::size_t r = 0; r < R; ++r) needed[r].assign(runs[r].passes.size(), TileMap(width, height));
    copied[R - 1] = changed;
    for (std::size_t r = R; r-- > 0;) {
        for (std::size_t i = runs[r].passes.size(); i-- > 0;) {
            TileMap& out = needed[r][i];
            if (i + 1 == runs[r].passes.size()) out.unite(copied[r]);
            if (out.empty()) continue;
            for (const Read& read : reads[r][i]) {
                const TileMap in = out.readBy(read.window, margin);
                if (read.copy) {
                    copied[static_cast<std::size_t>(read.from.run)].unite(in);
                } else {
                    needed[static_cast<std::size_t>(read.from.run)][static_cast<std::size_t>(read.from.pass)]
                        .unite(in);
                }
            }
        }
    }

    runs_.resize(R);
    tiles_.resize(R);
    for (std::size_t r = 0; r < R; ++r) {
        RunRegions& rr = runs_[r];
        tiles_[r].resize(runs[r].passes.size());
        rr.passes.resize(runs[r].passes.size());
        for (std::size_t i = 0; i < runs[r].passes.size(); ++i) tiles_[r][i] = needed[r][i].list();
        rr.copies = copied[r].rects();
    }
    runs_.back().identity = changed.rects(false);
    runs_.back().identitySlot = last.identitySlot;
    if (!uploadTiles()) {
        clear();
        return false;
    }
    changed_ = changed.count();
    frameTiles_ = static_cast<std::size_t>(changed.tilesX()) * changed.tilesY();
    active_ = true;
    VLOG_DEBUG("Region plan: the effect can change %zu of %zu tiles", changed_, frameTiles_);
    return true;
}

bool RegionPlan::uploadTiles() {
    std::size_t total = 0;
    for (const auto& run : tiles_)
        for (const auto& list : run) total += list.size();
    // A cuda launch reads its tiles from device memory: one buffer holds every pass's list.
    const uint32_t* device = nullptr;
    if (gpu_.kind() == GpuBackendKind::Cuda && total > 0) {
        std::vector<uint32_t> all;
        all.reserve(total);
        for (const auto& run : tiles_)
            for (const auto& list : run) all.insert(all.end(), list.begin(), list.end());
        if (gpu_.malloc(&deviceTiles_, total * sizeof(uint32_t)) != GpuErr::Success ||
            gpu_.memcpy(deviceTiles_, all.data(), total * sizeof(uint32_t), GpuMemcpyHostToDevice) !=
                GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("Region plan: the tile lists could not be uploaded - whole frame");
            return false;
        }
        device = static_cast<const uint32_t*>(deviceTiles_);
    }
    std::size_t offset = 0;
    for (std::size_t r = 0; r < tiles_.size(); ++r) {
        for (std::size_t i = 0; i < tiles_[r].size(); ++i) {
            PassRegion& region = runs_[r].passes[i];
            region.tiles = tiles_[r][i].data();
            region.tileCount = static_cast<int32_t>(tiles_[r][i].size());
            region.deviceTiles = device ? device + offset : region.tiles;
            offset += tiles_[r][i].size();
        }
    }
    return true;
}

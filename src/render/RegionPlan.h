#pragma once

// Which part of the frame each pass of a render computes. The effect can only change the frame
// where its last pass says so (for Velmora: where the prepared mask is non-zero, found from the
// raw mask and grown by the mask preparation's reach); outside it the output is an input as it
// is. Walking the passes backwards from that region, each pass is given the part of the frame
// the passes after it read, and each process output the part later processes read.

#include <cstddef>
#include <string>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "kernels/KernelRecords.h"
#include "kernels/PassRegion.h"
#include "render/TileMap.h"

// One pass of a pipeline run as it will be launched.
struct PlannedPass {
    std::string file;
    SystemParameters system;
    SourceConnections sources;
    AnimatedParameters parameters;
};

// One pipeline run (one process execution), in running order.
struct PlannedRun {
    int process = 0;
    bool final = false;  // writes the host's output image
    std::vector<PlannedPass> passes;
};

// What one run does under a plan.
struct RunRegions {
    std::vector<PassRegion> passes;     // one per pass
    std::vector<TileMap::Rect> copies;  // of the last pass's image into the run's destination
    // Final run: the rest of the destination is source slot `identitySlot` of the last pass.
    std::vector<TileMap::Rect> identity;
    int identitySlot = 0;
};

// Plans are made unless switched off (every pass then covers the whole frame).
void setRegionPlansEnabled(bool enabled);
bool regionPlansEnabled();

class RegionPlan {
  public:
    explicit RegionPlan(GpuRuntime& gpu);
    ~RegionPlan();
    RegionPlan(const RegionPlan&) = delete;
    RegionPlan& operator=(const RegionPlan&) = delete;

    // Plans the runs of a render of a width x height frame whose definition has `inputCount`
    // inputs and `processCount` processes. False (and no plan) when some pass cannot be bounded,
    // nothing would be saved, or the frame's coordinates do not land on texel centres: every pass
    // then covers the whole frame.
    bool build(int width, int height, int inputCount, int processCount, const std::vector<PlannedRun>& runs,
               GpuStream stream);
    void clear();

    bool active() const { return active_; }
    // Null without a plan.
    const RunRegions* run(std::size_t index) const;
    // Tiles of the region the effect can change, and of the frame.
    std::size_t changedTiles() const { return changed_; }
    std::size_t frameTiles() const { return frameTiles_; }

  private:
    bool uploadTiles();

    GpuRuntime& gpu_;
    bool active_ = false;
    std::vector<RunRegions> runs_;
    std::vector<std::vector<std::vector<uint32_t>>> tiles_;  // per run, per pass
    void* deviceTiles_ = nullptr;
    std::size_t changed_ = 0, frameTiles_ = 0;
};

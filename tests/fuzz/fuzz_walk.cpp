// Fuzzes the walk over random in-memory trees (folders, files, links to folders and files,
// zero times) with random failures of its calls, against a plain recursive model.
#include "folder_walk.h"
#include "memory_fs.h"
#include "platform_config.h"
#include "program_state.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Node {
    std::string name;
    int parent;
    int kind; // 0 folder, 1 file, 2 link
    uint64_t time;
    int target;
    std::vector<int> children;
};

struct Model {
    std::vector<Node> nodes;
    std::map<int, int> memfsId;
    std::set<std::string> listingFails, openFails, setTimeFails;
    std::map<int, uint64_t> times; // folders the model writes
    int visited = 0;
    int changed = 0;

    int Follow(int node) const
    {
        for (int hops = 0; node >= 0 && nodes[node].kind == 2 && hops < 64; hops++)
            node = nodes[node].target;
        return node;
    }
    bool IsFolder(int node) const
    {
        int target = Follow(node);
        return target >= 0 && nodes[target].kind == 0;
    }
    // The newest file time below `folder`, reached by `path`, with `ancestors` on the way.
    uint64_t Newest(int folder, const std::string& path, std::set<int> ancestors)
    {
        if (listingFails.count(path) || visited > 20000)
            return 0;
        ancestors.insert(folder);
        uint64_t newest = 0;
        for (int child : nodes[folder].children) {
            if (!IsFolder(child))
                continue;
            visited++;
            // No folder is entered while it is on the path (the top is, always), whether a
            // link leads to it or a plain folder below a link.
            int target = Follow(child);
            if (ancestors.count(target))
                continue;
            std::string childPath = path + PATH_SEPARATOR + nodes[child].name;
            uint64_t sub = Newest(target, childPath, ancestors);
            if (sub && !openFails.count(childPath) && !setTimeFails.count(childPath)) {
                times[target] = sub;
                changed++;
            }
            newest = std::max(newest, sub);
        }
        for (int child : nodes[folder].children)
            if (!IsFolder(child))
                newest = std::max(newest, nodes[child].kind == 2 ? 7 : nodes[child].time);
        return newest;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Model model;
    model.nodes.push_back(Node{"top", -1, 0, 5, -1, {}});
    std::vector<int> folders = {0};
    int count = input.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < count; i++) {
        int parent = folders[input.ConsumeIntegralInRange<size_t>(0, folders.size() - 1)];
        int kind = input.ConsumeIntegralInRange(0, 2);
        uint64_t time = input.ConsumeBool() ? 0 : input.ConsumeIntegralInRange<uint64_t>(1, 1000);
        Node node{"n" + std::to_string(i), parent, kind, time, -1, {}};
        if (kind == 2)
            node.target =
                input.ConsumeIntegralInRange<int>(0, static_cast<int>(model.nodes.size()) - 1);
        model.nodes.push_back(node);
        int id = static_cast<int>(model.nodes.size()) - 1;
        model.nodes[parent].children.push_back(id);
        if (kind == 0)
            folders.push_back(id);
    }
    // Failures are named by the paths the walk spells, links included.
    std::vector<std::string> paths;
    for (int i = 0; i < 6 && input.remaining_bytes() > 0; i++) {
        std::string path = "top";
        for (int at = 0, depth = input.ConsumeIntegralInRange(0, 4); depth > 0; depth--) {
            const auto& children = model.nodes[model.Follow(at)].children;
            if (children.empty())
                break;
            at = children[input.ConsumeIntegralInRange<size_t>(0, children.size() - 1)];
            path += PATH_SEPARATOR + model.nodes[at].name;
        }
        std::set<std::string>* kinds[] = {&model.listingFails, &model.openFails,
                                          &model.setTimeFails};
        kinds[input.ConsumeIntegralInRange(0, 2)]->insert(path);
    }

    model.Newest(0, "top", {});
    if (model.visited > 20000)
        return 0; // links fanning out; not a case worth the time

    memfs::Reset();
    for (size_t i = 0; i < model.nodes.size(); i++) {
        const Node& node = model.nodes[i];
        int parent = node.parent < 0 ? 0 : model.memfsId[node.parent];
        if (node.kind == 0)
            model.memfsId[static_cast<int>(i)] = memfs::AddFolder(parent, node.name, node.time + 1);
        else if (node.kind == 1)
            model.memfsId[static_cast<int>(i)] = memfs::AddFile(parent, node.name, node.time);
        else // a link's target always comes before it
            model.memfsId[static_cast<int>(i)] =
                memfs::AddLink(parent, node.name, model.memfsId[node.target]);
    }
    memfs::faults().quiet = true;
    memfs::faults().listingFails = model.listingFails;
    memfs::faults().openFails = model.openFails;
    memfs::faults().setTimeFails = model.setTimeFails;

    ResetProgramState();
    RunFolderWalk("top");
    bool same =
        programState.visitedCount == model.visited && programState.changedCount == model.changed;
    for (size_t i = 0; i < model.nodes.size(); i++) {
        if (model.nodes[i].kind != 0)
            continue;
        auto written = model.times.find(static_cast<int>(i));
        uint64_t expected =
            written != model.times.end() ? written->second : model.nodes[i].time + 1;
        same &= memfs::TimeOf(model.memfsId[static_cast<int>(i)]) == expected;
    }
    if (!same || memfs::OpenListings() != 0 || memfs::OpenHandles() != 0) {
        fprintf(stderr, "walk differs from the model: visited %d/%d changed %d/%d\n",
                programState.visitedCount, model.visited, programState.changedCount, model.changed);
        abort();
    }
    return 0;
}

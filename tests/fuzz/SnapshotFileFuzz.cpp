// Any bytes as a snapshot file, and as the encoded entries inside one: refused or read, never a
// crash, and what is read holds together (tree order, its count, a compare with itself).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "watch/TreeSnapshot.h"

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

// A tree that reads to its end is sound: encoded again it is the same, and nothing differs
// from itself.
void CheckTree(const qzx::EncodedTree& tree) {
    qzx::TreeReader reader(tree, '/');
    qzx::TreeEncoder again('/');
    qzx::SnapshotEntry entry;
    while (reader.Next(entry)) Require(again.Add(entry));
    if (reader.Failed()) return;
    const qzx::EncodedTree copy = again.Take();
    Require(copy.count == tree.count);
    Require(qzx::CompareTrees(tree, copy, '/').changes.empty());
    const qzx::TreeDifference gone = qzx::CompareTrees(tree, qzx::EncodedTree{}, '/');
    Require(gone.removed == tree.count);

    qzx::SnapshotHeader header;
    header.folder = "/w/";
    const qzx::LoadedSnapshot loaded =
        qzx::ParseSnapshotFile(qzx::SnapshotFileBytes(header, tree), "/w/", '/');
    Require(loaded.problem == qzx::SnapshotProblem::kNone);
    Require(loaded.tree.count == tree.count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const qzx::LoadedSnapshot loaded = qzx::ParseSnapshotFile(bytes, "/w/", '/');
    if (loaded.problem == qzx::SnapshotProblem::kNone) CheckTree(loaded.tree);
    Require(loaded.problem == qzx::SnapshotProblem::kNone || loaded.tree.count == 0);
    // The check sum keeps damaged files from the entries' reader; here it meets them directly.
    if (size >= 1) {
        qzx::EncodedTree tree;
        tree.count = data[0];
        tree.bytes = bytes.substr(1);
        CheckTree(tree);
    }
    return 0;
}

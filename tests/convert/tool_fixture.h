// The built tool run on a small image in a fresh directory, and the modules
// the image holds afterwards: the content conversions are seen in a module's
// stored name, type ID and contents.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/module_header.h"
#include "codec/packer.h"
#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::testing {

// 256 KiB: a stored system BIOS at 0, "*BBSS*" with the compressed area up to
// 0x20000; modules are added from 0x10000.
inline ImageBuilder content_image() {
    ImageBuilder b(256 * 1024);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    return b;
}

struct Module {
    std::string name;
    std::uint16_t type_id = 0;
    Bytes contents;
    bool operator==(const Module&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Module& m) {
    return os << m.name << " " << std::hex << m.type_id << std::dec << " (" << m.contents.size() << " bytes)";
}

struct ToolFixture {
    TempDir dir;
    Bytes image_bytes = content_image().bytes;

    ToolFixture() { write("bios.bin", image_bytes); }
    void write(const std::string& name, const Bytes& bytes) const {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    Bytes read(const std::string& name) const {
        return platform::read_file(dir.file(name)).value_or(Bytes{});
    }
    Bytes image() const { return read("bios.bin"); }

    // The output after the banner line.
    Outcome run(std::vector<std::string> args, const std::string& input = "") const {
        args.insert(args.begin(), "bios.bin");
        Outcome o = run_kitra(args, dir.path, input);
        const std::string banner = "kitra V1.99 [02/12/2010]\n";
        EXPECT_EQ(o.out.rfind(banner, 0), 0u) << o.out;
        o.out.erase(0, banner.size());
        return o;
    }

    std::vector<Module> modules() const {
        const Bytes img = image();
        std::vector<Module> out;
        std::uint64_t pos = 0x10000;
        while (auto m = codec::module_at(img, pos)) {
            const base::ByteView module = base::slice(img, pos, m->length());
            out.push_back({m->name, m->type_id, codec::unpack(module, {}).value_or(Bytes{})});
            pos += m->step();
        }
        return out;
    }
};

}  // namespace kitra::testing

// Writes the seed corpus of the fuzzing harnesses: meaningful call sequences in the byte format
// of call_script.h, one file each, into <directory>/<unit>/ for every unit named.
//
//   fuzz_seeds <directory> TESSIK ZORVEL Driver KADMIR
//
// The sequences are the same for every unit: value references are chosen by index modulo the
// count of their type, so index 0 and 1 are inputs of every unit.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/call_script.h"

namespace {

using fuzz::CountKind;
using fuzz::Op;
using fuzz::PointKind;
using fuzz::ReferenceKind;
using fuzz::Writer;

// Selector bytes of the instantiate arguments.
struct Instantiation {
  uint8_t guid = 0;  // the unit's own GUID
  fuzz::LocationKind location = fuzz::LocationKind::normal;
  fuzz::NameKind name = fuzz::NameKind::normal;
  uint8_t callbacks = 0;
  uint8_t flags = 4;  // co-simulation, not visible, logging on
};

class Script {
 public:
  Script& instantiate(uint8_t slot, Instantiation i = {}) {
    w_.op(Op::instantiate).byte(slot).byte(i.guid);
    if (i.guid == static_cast<uint8_t>(fuzz::GuidKind::text)) w_.text("0123456789abcdef");
    w_.byte(static_cast<uint8_t>(i.location));
    if (i.location == fuzz::LocationKind::text) w_.text("file:///opt/unit%20one/resources/");
    w_.byte(static_cast<uint8_t>(i.name));
    if (i.name == fuzz::NameKind::text) w_.text("named instance");
    w_.byte(i.callbacks).byte(i.flags);
    return *this;
  }
  Script& plain(Op op, uint8_t slot) {
    w_.op(op).byte(slot);
    return *this;
  }
  Script& setup(uint8_t slot, fuzz::SpecialReal start = fuzz::realZero, bool stopDefined = false,
                fuzz::SpecialReal stop = fuzz::realZero) {
    w_.op(Op::setup).byte(slot).byte(0).special(fuzz::realZero).special(start);
    w_.byte(stopDefined ? 1 : 0).special(stop);
    return *this;
  }
  Script& ready(uint8_t slot) {
    instantiate(slot).setup(slot);
    return plain(Op::enterInitialization, slot).plain(Op::exitInitialization, slot);
  }
  Script& step(uint8_t slot, fuzz::SpecialReal size, PointKind point = PointKind::current) {
    w_.op(Op::doStep).byte(slot).byte(static_cast<uint8_t>(point));
    if (point == PointKind::any || point == PointKind::offset) w_.special(fuzz::realCentisecond);
    w_.special(size).byte(1);
    return *this;
  }
  Script& stepFixed(uint8_t slot, uint8_t steps) {
    w_.op(Op::doStep).byte(slot).byte(static_cast<uint8_t>(PointKind::current)).steps(steps).byte(1);
    return *this;
  }
  // fmi2SetReal of one valid reference.
  Script& setReal(uint8_t slot, uint8_t index, fuzz::SpecialReal value) {
    w_.op(Op::setReal).byte(slot).byte(static_cast<uint8_t>(CountKind::one)).valid(index).special(value);
    return *this;
  }
  Script& setRealRaw(uint8_t slot, uint8_t index, double value) {
    w_.op(Op::setReal).byte(slot).byte(static_cast<uint8_t>(CountKind::one)).valid(index).raw(value);
    return *this;
  }
  // A get of `n` consecutive valid references from `first`.
  Script& get(Op op, uint8_t slot, uint8_t first, uint8_t n) {
    w_.op(op).byte(slot).byte(static_cast<uint8_t>(CountKind::small)).byte(static_cast<uint8_t>(n - 1));
    for (uint8_t i = 0; i < n; ++i) w_.valid(static_cast<uint8_t>(first + i));
    return *this;
  }
  // A get or set of one reference of the given kind; sets write `value` bytes after it.
  Script& one(Op op, uint8_t slot, ReferenceKind kind, std::vector<uint8_t> value = {}) {
    w_.op(op).byte(slot).byte(static_cast<uint8_t>(CountKind::one)).reference(kind);
    if (kind == ReferenceKind::raw) w_.u32(0x00010000);
    for (uint8_t b : value) w_.byte(b);
    return *this;
  }
  Script& missingArrays(Op op, uint8_t slot) {
    w_.op(op).byte(slot).byte(static_cast<uint8_t>(CountKind::nullReferences)).byte(2).byte(0);
    w_.op(op).byte(slot).byte(static_cast<uint8_t>(CountKind::nullValues)).byte(0);
    w_.op(op).byte(slot).byte(static_cast<uint8_t>(CountKind::none));
    return *this;
  }
  Script& setInteger(uint8_t slot, uint8_t index, uint32_t value) {
    w_.op(Op::setInteger).byte(slot).byte(static_cast<uint8_t>(CountKind::one)).valid(index);
    w_.byte(1).u32(value);
    return *this;
  }
  Script& refusal(uint8_t slot, uint8_t which) {
    w_.op(Op::refusal).byte(slot).byte(0).byte(2).byte(which);
    return *this;
  }
  Script& raw(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) w_.byte(b);
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return w_.bytes(); }

 private:
  Writer w_;
};

struct Seed {
  const char* name;
  std::function<void(Script&)> write;
};

const Seed seeds[] = {
    {"lifecycle",
     [](Script& s) {
       s.ready(0).setReal(0, 0, fuzz::realHundred).setReal(0, 1, fuzz::realHundred);
       for (int i = 0; i < 10; ++i) s.step(0, fuzz::realCentisecond);
       s.get(Op::getReal, 0, 0, 8).plain(Op::terminate, 0).plain(Op::freeInstance, 0);
     }},
    {"carry",
     [](Script& s) {
       s.ready(0).setReal(0, 1, fuzz::realHundred);
       for (int i = 0; i < 12; ++i) s.step(0, fuzz::realMillisecond);
       s.get(Op::getReal, 0, 0, 6);
     }},
    {"skip-ahead",
     [](Script& s) {
       s.ready(0).step(0, fuzz::realCentisecond, PointKind::zero);
       s.step(0, fuzz::realCentisecond, PointKind::offset).stepFixed(0, 200);
       s.step(0, fuzz::realMinusOne).step(0, fuzz::realZero).get(Op::getReal, 0, 2, 4);
     }},
    {"refused-intervals",
     [](Script& s) {
       s.ready(0).step(0, fuzz::realCentisecond);
       for (fuzz::SpecialReal r : {fuzz::realInfinity, fuzz::realAboveStepLimit, fuzz::realHuge,
                                   fuzz::realMax, fuzz::realVeryLarge, fuzz::realNaN,
                                   fuzz::realMinusInfinity, fuzz::realLowest}) {
         s.step(0, r);
       }
       s.step(0, fuzz::realCentisecond).get(Op::getReal, 0, 0, 8);
     }},
    {"first-step-checks",
     [](Script& s) {
       s.ready(0).step(0, fuzz::realCentisecond, PointKind::any).step(0, fuzz::realZero);
       s.step(0, fuzz::realNaN).step(0, fuzz::realCentisecond, PointKind::zero);
     }},
    {"bad-instantiations",
     [](Script& s) {
       for (uint8_t g = 200; g <= 205; ++g) s.instantiate(0, {.guid = g});
       for (auto l : {fuzz::LocationKind::windows, fuzz::LocationKind::null,
                      fuzz::LocationKind::empty, fuzz::LocationKind::tooLong,
                      fuzz::LocationKind::percent, fuzz::LocationKind::noSlash,
                      fuzz::LocationKind::text}) {
         s.instantiate(1, {.location = l});
       }
       for (auto n : {fuzz::NameKind::null, fuzz::NameKind::longName, fuzz::NameKind::text}) {
         s.instantiate(2, {.name = n});
       }
       s.instantiate(3, {.callbacks = 1}).instantiate(3, {.callbacks = 2});
       s.instantiate(3, {.flags = 3});
       s.setup(2).refusal(2, 0).step(2, fuzz::realCentisecond).step(2, fuzz::realInfinity);
     }},
    {"setup-checks",
     [](Script& s) {
       s.instantiate(0).setup(0, fuzz::realNaN).setup(0, fuzz::realOne);
       s.setup(0, fuzz::realZero, true, fuzz::realMinusOne);
       s.setup(0, fuzz::realZero, true, fuzz::realMinusInfinity);
       s.setup(0, fuzz::realZero, true, fuzz::realNaN);
       s.setup(0, fuzz::realMinusZero, false, fuzz::realMinusOne);
       s.setup(0, fuzz::realZero, true, fuzz::realZero).setup(0);
       s.step(0, fuzz::realCentisecond);
     }},
    {"variable-access",
     [](Script& s) {
       s.ready(0);
       for (Op op : {Op::setReal, Op::getReal, Op::setInteger, Op::getInteger, Op::setBoolean,
                     Op::getBoolean}) {
         // The value bytes of a set: one, decoded as a real, an integer or a boolean.
         const std::vector<uint8_t> value = op == Op::setReal      ? std::vector<uint8_t>{fuzz::realOne}
                                            : op == Op::setInteger ? std::vector<uint8_t>{0, 1}
                                            : op == Op::setBoolean ? std::vector<uint8_t>{1}
                                                                   : std::vector<uint8_t>{};
         s.missingArrays(op, 0);
         for (auto kind : {ReferenceKind::first0, ReferenceKind::onePastLast,
                           ReferenceKind::huge, ReferenceKind::raw}) {
           s.one(op, 0, kind, value);
         }
       }
       s.get(Op::getReal, 0, 0, 8).get(Op::getInteger, 0, 0, 4).get(Op::getBoolean, 0, 0, 2);
     }},
    {"before-initialisation",
     [](Script& s) {
       s.instantiate(0).get(Op::getReal, 0, 0, 8).setReal(0, 0, fuzz::realNaN);
       s.step(0, fuzz::realCentisecond, PointKind::zero).get(Op::getReal, 0, 0, 8);
       s.setup(0).setReal(0, 1, fuzz::realHuge).get(Op::getReal, 0, 0, 8);
       s.plain(Op::exitInitialization, 0).step(0, fuzz::realCentisecond);
       s.plain(Op::terminate, 0).step(0, fuzz::realCentisecond).plain(Op::enterInitialization, 0);
       s.setup(0).step(0, fuzz::realCentisecond);
     }},
    {"hostile-inputs",
     [](Script& s) {
       s.ready(0);
       for (fuzz::SpecialReal r : {fuzz::realNaN, fuzz::realInfinity, fuzz::realMinusInfinity,
                                   fuzz::realHuge, fuzz::realMinusHuge, fuzz::realDenormal}) {
         s.setReal(0, 0, r).setReal(0, 1, r).setReal(0, 2, r).setReal(0, 3, r);
         s.stepFixed(0, 4).get(Op::getReal, 0, 0, 8);
       }
     }},
    {"parameters",
     [](Script& s) {
       s.instantiate(0);
       for (uint8_t i = 0; i < 24; ++i) s.setReal(0, static_cast<uint8_t>(8 + i), fuzz::realMinusOne);
       s.setRealRaw(0, 30, 1e-308).setup(0).stepFixed(0, 40).get(Op::getReal, 0, 0, 8);
     }},
    {"integer-writes",
     [](Script& s) {
       s.ready(0);
       for (uint8_t i = 0; i < 12; ++i) {
         for (uint32_t v : {0u, 1u, 2u, 5u, 17u, 100u, 0xFFFFFFFFu, 0x80000000u}) {
           s.setInteger(0, i, v);
         }
       }
       s.get(Op::getInteger, 0, 0, 8).stepFixed(0, 20).get(Op::getReal, 0, 0, 8);
     }},
    {"refusals",
     [](Script& s) {
       s.ready(0);
       for (uint8_t r = 0; r < 13; ++r) s.refusal(0, r);
       s.plain(Op::reset, 0).missingArrays(Op::setString, 0).missingArrays(Op::getString, 0);
       s.one(Op::getString, 0, ReferenceKind::first0).one(Op::setString, 0, ReferenceKind::first0);
       s.raw({static_cast<uint8_t>(Op::setDebugLogging), 0, 0, 0});   // off, no categories
       s.raw({static_cast<uint8_t>(Op::setDebugLogging), 0, 1, 1});   // on, two categories
       s.raw({static_cast<uint8_t>(Op::setDebugLogging), 0, 1, 0});   // on
       // Input derivatives: the count, then two reference selectors.
       s.raw({static_cast<uint8_t>(Op::inputDerivatives), 0, 0, 0, 0});
       s.raw({static_cast<uint8_t>(Op::inputDerivatives), 0, 2, 0, 8});
       s.raw({static_cast<uint8_t>(Op::inputDerivatives), 0, 3, 0, 0});
       s.raw({static_cast<uint8_t>(Op::outputDerivatives), 0, static_cast<uint8_t>(CountKind::three), 0, 8, 16});
       s.raw({static_cast<uint8_t>(Op::outputDerivatives), 0, static_cast<uint8_t>(CountKind::nullValues), 1});
       s.raw({static_cast<uint8_t>(Op::info), 0});
     }},
    {"null-handles",
     [](Script& s) {
       // Slot 3 holds no instance: every call gets a NULL handle.
       s.setup(3).plain(Op::enterInitialization, 3).plain(Op::exitInitialization, 3);
       s.step(3, fuzz::realCentisecond).plain(Op::terminate, 3).plain(Op::reset, 3);
       s.one(Op::getReal, 3, ReferenceKind::first0).one(Op::setReal, 3, ReferenceKind::first0, {0});
       s.one(Op::getInteger, 3, ReferenceKind::first0).one(Op::getBoolean, 3, ReferenceKind::first0);
       s.one(Op::getString, 3, ReferenceKind::first0).refusal(3, 0).refusal(3, 7);
       s.raw({static_cast<uint8_t>(Op::setDebugLogging), 3, 1, 0});
       s.raw({static_cast<uint8_t>(Op::outputDerivatives), 3, static_cast<uint8_t>(CountKind::one), 0});
       s.plain(Op::freeInstance, 3);
     }},
    {"strings",
     [](Script& s) {
       // Every text the harness offers for the first String variable (0xFE: too long, 0xFF:
       // NULL), then a trace that can be read, initialisation and steps through it.
       s.instantiate(0).setup(0);
       for (uint8_t k = 0; k < 10; ++k) {
         s.one(Op::setString, 0, ReferenceKind::first0, {k});
         s.plain(Op::enterInitialization, 0).plain(Op::exitInitialization, 0);
       }
       s.one(Op::setString, 0, ReferenceKind::first0, {0xFE}).one(Op::setString, 0, ReferenceKind::first0, {0xFF});
       s.one(Op::setString, 0, ReferenceKind::onePastLast, {0}).one(Op::getString, 0, ReferenceKind::first0);
       s.one(Op::setString, 0, ReferenceKind::first0, {1});
       s.plain(Op::enterInitialization, 0).plain(Op::exitInitialization, 0);
       for (int i = 0; i < 20; ++i) s.stepFixed(0, 200);
       s.get(Op::getReal, 0, 0, 3).get(Op::getInteger, 0, 0, 2).get(Op::getBoolean, 0, 0, 1);
       s.step(0, fuzz::realHuge).step(0, fuzz::realNaN).step(0, fuzz::realMinusOne);
       s.get(Op::getReal, 0, 0, 3);
     }},
    {"many-instances",
     [](Script& s) {
       for (uint8_t i = 0; i < 4; ++i) s.ready(i).setReal(i, 1, static_cast<fuzz::SpecialReal>(fuzz::realOne + i));
       for (int k = 0; k < 5; ++k) {
         for (uint8_t i = 0; i < 4; ++i) s.step(i, fuzz::realCentisecond);
       }
       s.plain(Op::freeInstance, 1).ready(1).plain(Op::freeInstance, 3).step(0, fuzz::realCentisecond);
       s.instantiate(2).step(2, fuzz::realCentisecond).get(Op::getReal, 2, 0, 8);
       s.instantiate(0).instantiate(0).plain(Op::freeInstance, 0).plain(Op::freeInstance, 0);
     }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <corpus directory> <unit>...\n", argv[0]);
    return 2;
  }
  for (int u = 2; u < argc; ++u) {
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / argv[u];
    std::filesystem::create_directories(dir);
    for (const Seed& seed : seeds) {
      Script script;
      seed.write(script);
      std::ofstream out(dir / seed.name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(script.bytes().data()),
                static_cast<std::streamsize>(script.bytes().size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (dir / seed.name).c_str());
        return 1;
      }
    }
  }
  return 0;
}

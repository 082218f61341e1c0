#include "exclog/debuginfo/EForeignObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace exclog;

namespace {

// A module's type information laid out in synthetic memory: each type_info gets a
// block of its own, each kind's meta type_info and virtual table one more.
class TForeignImage {
 public:
  TForeignImage() {
    memory.Add(0x1000, std::vector<uint8_t>(0x4000));
    kinds_[0] = Meta("N10__cxxabiv117__class_type_infoE");
    kinds_[1] = Meta("N10__cxxabiv120__si_class_type_infoE");
    kinds_[2] = Meta("N10__cxxabiv121__vmi_class_type_infoE");
  }
  uint32_t Plain(const char* name) { return Type(0, name, {}); }
  uint32_t Single(const char* name, uint32_t base) { return Type(1, name, {base}); }
  // Bases as {type_info, offset and flags} pairs.
  uint32_t Several(const char* name, std::vector<uint32_t> bases) {
    std::vector<uint32_t> words{0, static_cast<uint32_t>(bases.size() / 2)};
    words.insert(words.end(), bases.begin(), bases.end());
    return Type(2, name, words);
  }
  // An object of type `type` whose message string (data, length) is at `offset`.
  uint32_t Object(uint32_t type, uint32_t offset, const std::string& message) {
    uint32_t table = Take(8);
    memory.WriteU32(table, type);
    uint32_t text = Text(message);
    uint32_t object = Take(offset + 8);
    memory.WriteU32(object, table + 4);
    memory.WriteU32(object + offset, text);
    memory.WriteU32(object + offset + 4, static_cast<uint32_t>(message.size()));
    return object;
  }
  uint32_t Text(const std::string& text) {
    uint32_t at = Take(static_cast<uint32_t>(text.size() + 1));
    memory.Write(at, text.c_str(), text.size() + 1);
    return at;
  }
  TRegionMemory memory;

 private:
  uint32_t Take(uint32_t size) {
    uint32_t at = next_;
    next_ += (size + 7) & ~7u;
    return at;
  }
  uint32_t Meta(const char* name) {
    uint32_t meta = Take(8), table = Take(8);
    memory.WriteU32(meta + 4, Text(name));
    memory.WriteU32(table, meta);
    return table + 4;
  }
  uint32_t Type(int kind, const char* name, const std::vector<uint32_t>& extra) {
    uint32_t type = Take(8 + 4 * static_cast<uint32_t>(extra.size()));
    memory.WriteU32(type, kinds_[kind]);
    memory.WriteU32(type + 4, Text(name));
    for (size_t i = 0; i < extra.size(); ++i) memory.WriteU32(type + 8 + 4 * static_cast<uint32_t>(i), extra[i]);
    return type;
  }
  uint32_t next_ = 0x1000;
  uint32_t kinds_[3] = {};
};

constexpr uint32_t MessageOffset = 8;

}  // namespace

TEST(ForeignObject, ExceptionChainGivesNameAncestorsAndMessage) {
  TForeignImage image;
  uint32_t object = image.Plain("7TObject");
  uint32_t exception = image.Several("9Exception", {object, 0x2, image.Plain("St9exception"), 0x402});
  uint32_t fault = image.Single("N4libs9EDllFaultE", exception);
  TForeignObject out;
  ASSERT_TRUE(ReadForeignObject(image.memory, image.Object(fault, MessageOffset, "disk gone"), MessageOffset, out));
  EXPECT_EQ(out.ClassName, "EDllFault");
  EXPECT_EQ(out.Ancestors, (std::vector<std::string>{"EDllFault", "Exception", "TObject"}));
  EXPECT_EQ(out.Message, "disk gone");
  EXPECT_TRUE(out.InheritsFrom("Exception"));
  EXPECT_FALSE(out.InheritsFrom("exception"));

  // Not an Exception: the words at the message's place are not read as one.
  ASSERT_TRUE(ReadForeignObject(image.memory, image.Object(image.Single("5TList", object), MessageOffset, "x"),
                                MessageOffset, out));
  EXPECT_EQ(out.Ancestors, (std::vector<std::string>{"TList", "TObject"}));
  EXPECT_EQ(out.Message, "");
}

TEST(ForeignObject, HostileMemoryIsBounded) {
  TForeignImage image;
  TForeignObject out;
  EXPECT_FALSE(ReadForeignObject(image.memory, 0, MessageOffset, out));
  EXPECT_FALSE(ReadForeignObject(image.memory, 0x90000, MessageOffset, out));  // unmapped

  // A chain that loops: followed no further than the limit.
  uint32_t loop = image.Single("4Loop", 0);
  image.memory.WriteU32(loop + 8, loop);
  ASSERT_TRUE(ReadForeignObject(image.memory, image.Object(loop, MessageOffset, ""), MessageOffset, out));
  EXPECT_EQ(out.Ancestors.size(), static_cast<size_t>(ForeignChainLimit));

  // A length far past the text: cut to the limit, and nothing when that much is not there.
  uint32_t exception = image.Plain("9Exception");
  uint32_t longObject = image.Object(exception, MessageOffset, std::string(ForeignTextLimit + 10, 'm'));
  image.memory.WriteU32(longObject + MessageOffset + 4, 0xFFFFFFF0u);
  ASSERT_TRUE(ReadForeignObject(image.memory, longObject, MessageOffset, out));
  EXPECT_EQ(out.Message.size(), ForeignTextLimit);
  uint32_t shortObject = image.Object(exception, MessageOffset, "abc");
  image.memory.WriteU32(shortObject + MessageOffset, 0x5000 - 3);  // three bytes before the end
  image.memory.WriteU32(shortObject + MessageOffset + 4, 0x100000);
  ASSERT_TRUE(ReadForeignObject(image.memory, shortObject, MessageOffset, out));
  EXPECT_EQ(out.Message, "");

  // A type_info of an unknown kind (not a class) ends the chain before it starts.
  uint32_t odd = image.Plain("9Exception");
  image.memory.WriteU32(odd, 0);
  EXPECT_FALSE(ReadForeignObject(image.memory, image.Object(odd, MessageOffset, "x"), MessageOffset, out));
}

TEST(ForeignObject, UnmangledClassNames) {
  EXPECT_EQ(UnmangledClassName("9Exception"), "Exception");
  EXPECT_EQ(UnmangledClassName("N6exclog4NameE"), "Name");
  for (const char* bad : {"", "9Excep", "N6exclog4Name", "0", "x", "99999999999999999999x", "9Exceptionz"})
    EXPECT_EQ(UnmangledClassName(bad), "") << bad;
}

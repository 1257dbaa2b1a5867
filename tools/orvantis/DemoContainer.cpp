// The byte buffer and container step of `orvantis demo`: buffers and views,
// a round trip through a container in memory and in a file, a wrong key, and
// the DJB2 hash.
#include "Command.h"

#include <OrvantisCore.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

std::string hexPrefix(const ByteBufferView& bytes, size_t count) {
    std::ostringstream out;
    for (size_t i = 0; i < bytes.size() && i < count; ++i) {
        out << std::hex << std::setw(2) << std::setfill('0') << (static_cast<unsigned>(bytes[i]) & 0xFF) << ' ';
    }
    return out.str() + "...";
}

void runContainerStep() {
    std::string text;
    for (int i = 0; i < 20; ++i) {
        text += "OrvantisCore packs repetitive data well. ";
    }
    ByteBufferView view(text);
    ByteBuffer copy = view.copy();
    copy[0] = 'o';
    std::cout << "A view shares its string's bytes, a ByteBuffer owns a copy: view[0] = '" << view[0]
              << "', copy[0] = '" << copy[0] << "'.\n";

    const char* key = "demo key";
    const ByteBuffer container = Cryptography::encrypt(view, key);
    std::cout << "\nencrypt: " << view.size() << " bytes -> container of " << container.size()
              << " bytes (zlib + XOR with \"" << key << "\")\n"
              << "  scrambled: " << hexPrefix(container, 12) << "\n";
    const ByteBuffer restored = Cryptography::decrypt(container, key);
    std::cout << "decrypt with the same key restores the data: " << std::boolalpha << (restored == view) << "\n";
    std::cout << "decrypt with another key fails and says so on standard output:\n  ";
    Cryptography::decrypt(container, "wrong key");

    const std::string file =
        (std::filesystem::temp_directory_path() / ("orvantis-demo-" + std::to_string(getpid()) + ".bin")).string();
    Cryptography::encryptToFile(view, file, key);
    const ByteBuffer fromFile = Cryptography::decryptFromFile(file, key);
    std::cout << "\nencryptToFile writes \"ORVANTIS COMPRESSED v1\", a zero byte and the container to " << file
              << ";\ndecryptFromFile reads it back: " << (fromFile == view) << "\n";
    std::remove(file.c_str());

    std::string abc = "abc";
    std::cout << "\nhashDJB2(\"abc\") = " << Cryptography::hashDJB2(ByteBufferView(abc))
              << ", hashDJB2 of the text above = " << Cryptography::hashDJB2(view) << "\n";
}

const DemoStep::Registration registration{{20, "Byte buffers and scrambled containers", &runContainerStep}};

}  // namespace
}  // namespace OrvantisTool

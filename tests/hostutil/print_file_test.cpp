#include "print_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform_double.h"
#include "temp_dir.h"

using test::ScopedDouble;
using test::TempDir;
using Calls = std::vector<std::string>;

namespace {

// Every byte value, CR LF, end-of-file marks and escape sequences.
std::string pattern(size_t size) {
    std::string bytes(size, 0);
    const char special[] =
        "\r\n\x1a\x1b"
        "E\x1b(s0p\x00\xff";
    for (size_t i = 0; i < size; ++i)
        bytes[i] =
            i % 7 == 0 ? special[(i / 7) % (sizeof special - 1)] : static_cast<char>(i * 31 + 7);
    return bytes;
}

std::string box(const std::string &text) { return "messageBox(Prn Bypass|" + text + ")"; }

// The double's journal takes the buffer and file events too (allocate,
// open, close, release), so one list shows the whole order of taking and
// releasing.
class PrintFileTest : public ::testing::Test {
protected:
    int32_t print(const char *printer, const char *output, const std::string &path) {
        return hostutil::printFile(printer, output, path.c_str());
    }

    ScopedDouble os;
    TempDir dir;
};

TEST_F(PrintFileTest, SendsTheFileInPiecesOfAtMost4096Bytes) {
    struct Row {
        size_t size;
        Calls writes;
    };
    const Row rows[] = {
        {0, {}},
        {1, {"writePrinter(printer|1)"}},
        {4096, {"writePrinter(printer|4096)"}},
        {4097, {"writePrinter(printer|4096)", "writePrinter(printer|1)"}},
        {8192 + 5,
         {"writePrinter(printer|4096)", "writePrinter(printer|4096)", "writePrinter(printer|5)"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.size);
        os->calls.clear();
        os->written.clear();
        std::string bytes = pattern(row.size);
        std::string path = dir.write("job" + std::to_string(row.size) + ".prn", bytes);

        EXPECT_EQ(print("Laser", nullptr, path), 1);

        Calls expected = {"allocate(4097)", "open(rb)", "openPrinter(Laser)",
                          "startDocPrinter(printer|" + path + "|(null))", "setWaitCursor()"};
        expected.insert(expected.end(), row.writes.begin(), row.writes.end());
        Calls tail = {"setCursor(previousCursor)", "endDocPrinter(printer)",
                      "closePrinter(printer)", "close(file)", "release(buffer)"};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(os->calls, expected);
        EXPECT_EQ(os->written, bytes);
    }
}

TEST_F(PrintFileTest, EachFailureShowsItsBoxesAndReleasesInOrder) {
    std::string path = dir.write("doc.prn", pattern(3 * 4096 + 10));
    std::string missing = dir.file("missing.prn");
    os->errorTexts = {{1801, "Nome della stampante non valido."}, {5, "Accesso negato."}};

    using test::Operation;
    struct Fault {
        Operation operation;
        int nth;
        uint32_t code;
    };
    struct Row {
        const char *name;
        std::string file;
        std::optional<Fault> fault;
        bool noMemory;
        Calls expected;
        size_t written;
    };
    const std::string start = "startDocPrinter(printer|" + path + "|out.prn)";
    const Row rows[] = {
        {"no memory",
         path,
         std::nullopt,
         true,
         {"allocate(4097)", box("Memoria insufficente per copiare il file")},
         0},
        {"missing file",
         missing,
         std::nullopt,
         false,
         {"allocate(4097)", "open(rb) failed",
          box("Non posso aprire il '" + missing + "' per leggerlo."), "release(buffer)"},
         0},
        {"unknown printer",
         path,
         Fault{Operation::OpenPrinter, 1, 1801},
         false,
         {"allocate(4097)", "open(rb)", "openPrinter(Laser)",
          box("OpenPrinter per 'Laser' fallita: 1801"), box("Nome della stampante non valido."),
          "release(buffer)", "close(file)"},
         0},
        {"document refused",
         path,
         Fault{Operation::StartDocPrinter, 1, 5},
         false,
         {"allocate(4097)", "open(rb)", "openPrinter(Laser)", start,
          box("Inizio stampa su 'out.prn' fallita: 5"), box("Accesso negato."),
          "closePrinter(printer)", "release(buffer)", "close(file)"},
         0},
        {"write fails midway",
         path,
         Fault{Operation::WritePrinter, 3, 0},
         false,
         {"allocate(4097)", "open(rb)", "openPrinter(Laser)", start, "setWaitCursor()",
          "writePrinter(printer|4096)", "writePrinter(printer|4096)", "writePrinter(printer|4096)",
          box("Trasmissione dati alla stampante fallito"), "setCursor(previousCursor)",
          "endDocPrinter(printer)", "closePrinter(printer)", "close(file)", "release(buffer)"},
         8192},
        {"the spooler cannot complete the job",
         path,
         Fault{Operation::EndDocPrinter, 1, 0},
         false,
         {"allocate(4097)", "open(rb)", "openPrinter(Laser)", start, "setWaitCursor()",
          "writePrinter(printer|4096)", "writePrinter(printer|4096)", "writePrinter(printer|4096)",
          "writePrinter(printer|10)", "setCursor(previousCursor)", "endDocPrinter(printer)",
          box("Trasmissione dati alla stampante fallito"), "closePrinter(printer)", "close(file)",
          "release(buffer)"},
         3 * 4096 + 10},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::PlatformDouble &d = *os;
        d = test::PlatformDouble();
        d.errorTexts = {{1801, "Nome della stampante non valido."}, {5, "Accesso negato."}};
        if (row.fault) d.faults.fail(row.fault->operation, row.fault->nth, row.fault->code);
        if (row.noMemory) d.faults.fail(Operation::Allocate, 1, ENOMEM);

        EXPECT_EQ(print("Laser", "out.prn", row.file), 0);
        EXPECT_EQ(d.calls, row.expected);
        EXPECT_EQ(d.written, pattern(3 * 4096 + 10).substr(0, row.written));
    }
}

TEST_F(PrintFileTest, AFileThatCannotBeReadEndsTheJobNormally) {
    // Opening a folder for reading works; reading it fails at once.
    EXPECT_EQ(print("Laser", nullptr, dir.path()), 1);
    EXPECT_EQ(os->calls,
              (Calls{"allocate(4097)", "open(rb)", "openPrinter(Laser)",
                     "startDocPrinter(printer|" + dir.path() + "|(null))", "setWaitCursor()",
                     "setCursor(previousCursor)", "endDocPrinter(printer)", "closePrinter(printer)",
                     "close(file)", "release(buffer)"}));
}

TEST_F(PrintFileTest, MessagesAreCutTo127CharactersAndRenderOddValues) {
    std::string path = dir.write("doc.prn", "data");
    std::string longName(300, 'P');
    std::string longText(400, 'e');

    struct Row {
        const char *name;
        const char *printer;
        const char *output;
        bool openSucceeds;
        uint32_t error;
        std::string first, second;
    };
    const Row rows[] = {
        {"long printer name and text", longName.c_str(), nullptr, false, 1801,
         ("OpenPrinter per '" + longName).substr(0, 127), longText.substr(0, 127)},
        {"negative code, no text", "Laser", nullptr, false, 0x80070005u,
         "OpenPrinter per 'Laser' fallita: -2147024891", "Errore di sistema -2147024891"},
        {"null printer name", nullptr, nullptr, false, 2, "OpenPrinter per '(null)' fallita: 2",
         "Errore di sistema 2"},
        {"null output file", "Laser", nullptr, true, 1801,
         "Inizio stampa su '(null)' fallita: 1801", longText.substr(0, 127)},
        {"long output file", "Laser", longName.c_str(), true, 1801,
         ("Inizio stampa su '" + longName).substr(0, 127), longText.substr(0, 127)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::PlatformDouble &d = *os;
        d = test::PlatformDouble();
        d.errorTexts = {{1801, longText}};
        if (!row.openSucceeds) d.faults.fail(test::Operation::OpenPrinter, 1, row.error);
        d.faults.fail(test::Operation::StartDocPrinter, 1, row.error);

        EXPECT_EQ(print(row.printer, row.output, path), 0);
        std::vector<std::string> boxes;
        for (const std::string &call : d.calls)
            if (call.rfind("messageBox(", 0) == 0) boxes.push_back(call);
        EXPECT_EQ(boxes, (Calls{box(row.first), box(row.second)}));
    }
}

TEST_F(PrintFileTest, ANullPathIsAFileThatCannotBeOpened) {
    EXPECT_EQ(hostutil::printFile("Laser", nullptr, nullptr), 0);
    EXPECT_EQ(os->calls, (Calls{"allocate(4097)", box("Non posso aprire il '(null)' per leggerlo."),
                                "release(buffer)"}));
}

TEST_F(PrintFileTest, ALongPathIsCutInItsMessage) {
    std::string missing = dir.file(std::string(200, 'm') + ".prn");
    EXPECT_EQ(print("Laser", nullptr, missing), 0);
    EXPECT_EQ(os->calls.at(2), box(("Non posso aprire il '" + missing).substr(0, 127)));
}

}  // namespace

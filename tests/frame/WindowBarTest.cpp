// The progress window on a real X server (run under xvfb-run): the bar driver program
// shows it and changes it one command at a time, and the test looks at the screen in
// between. Two tests start an X server of their own, to take it away in the middle.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "tests/e2e/RunFixture.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Process;

std::string u8s(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

const std::string kCaption = u8s(u8"Анализ данных");

std::string commandOutput(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe.get()))
        out.append(buffer, n);
    return out;
}

struct Rect {
    int x, y, width, height;
};

// A screenshot, as ImageMagick's import takes it, read from its PPM form.
class Image {
public:
    static Image ofScreen(const std::string& display, const std::string& file)
    {
        std::string command = "import -display " + display + " -window root -depth 8 ppm:" + file + " 2>&1";
        std::string out = commandOutput(command);
        std::ifstream in(file, std::ios::binary);
        std::string magic;
        Image image;
        int maxValue = 0;
        in >> magic >> image.width >> image.height >> maxValue;
        in.get();
        if (magic != "P6" || maxValue != 255 || image.width <= 0)
            throw std::runtime_error("no screenshot from import: " + out);
        image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
        in.read(reinterpret_cast<char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
        return image;
    }

    std::array<int, 3> at(int x, int y) const
    {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }

    std::vector<unsigned char> region(const Rect& r) const
    {
        std::vector<unsigned char> bytes;
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                for (int c : at(x, y))
                    bytes.push_back(static_cast<unsigned char>(c));
        return bytes;
    }

    // Darker than mid grey: the strokes of a text, the shadowed edges of a frame.
    bool dark(int x, int y) const
    {
        auto p = at(x, y);
        return p[0] + p[1] + p[2] < 3 * 100;
    }

    // The smallest rectangle holding every dark pixel of the region; width 0 for none.
    Rect inkBounds(const Rect& r) const
    {
        int left = r.x + r.width, right = r.x - 1, top = r.y + r.height, bottom = r.y - 1;
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                if (dark(x, y)) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
        return right < left ? Rect{r.x, r.y, 0, 0} : Rect{left, top, right - left + 1, bottom - top + 1};
    }

    // The dark pixels within inkBounds, a row of '#' and '.' per line of pixels.
    std::vector<std::string> inkMask(const Rect& r) const
    {
        const Rect b = inkBounds(r);
        std::vector<std::string> rows;
        for (int y = b.y; y < b.y + b.height; ++y) {
            rows.emplace_back();
            for (int x = b.x; x < b.x + b.width; ++x)
                rows.back() += dark(x, y) ? '#' : '.';
        }
        return rows;
    }

    // Whether the mask, dark and light pixels alike, is found anywhere in the region.
    bool holds(const Rect& r, const std::vector<std::string>& mask) const
    {
        if (mask.empty())
            return false;
        const int h = static_cast<int>(mask.size()), w = static_cast<int>(mask[0].size());
        auto matchesAt = [&](int x0, int y0) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (dark(x0 + x, y0 + y) != (mask[y][x] == '#'))
                        return false;
            return true;
        };
        for (int y = r.y; y + h <= r.y + r.height; ++y)
            for (int x = r.x; x + w <= r.x + r.width; ++x)
                if (matchesAt(x, y))
                    return true;
        return false;
    }

    // The longest horizontal run of dark pixels in the rows of the region.
    Rect longestDarkRun(const Rect& r) const
    {
        Rect longest{r.x, r.y, 0, 1};
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x, run = 0; x < r.x + r.width; ++x) {
                run = dark(x, y) ? run + 1 : 0;
                if (run > longest.width)
                    longest = {x - run + 1, y, run, 1};
            }
        return longest;
    }

    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

struct TopWindow {
    int width, height, x, y;
};

// The top-level windows with the progress window's caption, as xwininfo lists them.
std::vector<TopWindow> captionedWindows(const std::string& display)
{
    std::string tree = commandOutput("xwininfo -display " + display + " -root -tree 2>&1");
    static const std::regex geometry(R"((\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))");
    std::vector<TopWindow> found;
    size_t start = 0;
    while (start < tree.size()) {
        size_t end = tree.find('\n', start);
        std::string line = tree.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? tree.size() : end + 1;
        std::smatch m;
        if (line.find("\"" + kCaption + "\"") != std::string::npos && std::regex_search(line, m, geometry))
            found.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])});
    }
    return found;
}

// The captioned windows once the message box has joined the progress window (or after ten
// seconds without it).
std::vector<TopWindow> waitForMessageBox(const std::string& display)
{
    std::vector<TopWindow> windows = captionedWindows(display);
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         windows.size() < 2 && std::chrono::steady_clock::now() < deadline; windows = captionedWindows(display))
        std::this_thread::sleep_for(50ms);
    return windows;
}

// The bar driver on a display, waiting for commands.
class Driver {
public:
    Driver(const std::string& display, TempDir& dir)
        : process({BAR_DRIVER}, {"DISPLAY=" + display}, dir.path(), {}, Process::Talk::Lines)
    {
        std::optional<std::string> where = process.readLine(20s);
        if (where != "window")
            throw std::runtime_error("the driver did not open the window: " + where.value_or("(nothing)") + " " +
                                     process.errSoFar());
    }

    // Runs a command and waits until it is done.
    void operator()(const std::string& command, std::chrono::milliseconds timeout = 20s)
    {
        process.send(command);
        std::optional<std::string> answer = process.readLine(timeout);
        if (answer != "ok")
            throw std::runtime_error(command + ": " + answer.value_or("no answer") + " " + process.errSoFar());
    }

    void send(const std::string& command) { process.send(command); }
    std::optional<std::string> readLine(std::chrono::milliseconds timeout) { return process.readLine(timeout); }

    std::optional<int> quit()
    {
        (*this)("quit");
        return process.wait(20s).exitCode;
    }

    std::string err() const { return process.errSoFar(); }

    Process process;
};

class WindowBarTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char* name = std::getenv("DISPLAY");
        ASSERT_TRUE(name && *name) << "run this under xvfb-run";
        display = name;
        driver = std::make_unique<Driver>(display, dir);
        std::vector<TopWindow> windows = captionedWindows(display);
        ASSERT_EQ(windows.size(), 1u);
        window = windows[0];
    }

    void TearDown() override
    {
        if (driver && quitAtEnd) {
            EXPECT_EQ(driver->quit(), 0);
        }
    }

    Image shot() { return Image::ofScreen(display, dir / "screen.ppm"); }

    Rect label() const { return {window.x + 8, window.y + 16, 324, 16}; }

    // Whether the window's dark pixels above the bar all lie in the label, and some do.
    testing::AssertionResult textInLabel(const Image& image) const
    {
        const Rect ink = image.inkBounds({window.x, window.y, window.width, 40});
        const Rect area = label();
        if (ink.width == 0)
            return testing::AssertionFailure() << "nothing drawn above the bar";
        if (ink.x < area.x || ink.y < area.y || ink.x + ink.width > area.x + area.width ||
            ink.y + ink.height > area.y + area.height)
            return testing::AssertionFailure() << "drawn at " << ink.width << "x" << ink.height << "+"
                                               << ink.x - window.x << "+" << ink.y - window.y
                                               << " in the window, outside the label";
        return testing::AssertionSuccess();
    }

    // How many pixels of the bar's middle row are filled.
    int filled(const Image& image) const
    {
        int count = 0;
        for (int x = window.x + 8; x < window.x + 8 + 321; ++x)
            count += image.at(x, window.y + 40 + 8) == std::array<int, 3>{0, 0, 128};
        return count;
    }

    std::string display;
    TempDir dir;
    std::unique_ptr<Driver> driver;
    TopWindow window{};
    bool quitAtEnd = true;
};

TEST_F(WindowBarTest, WindowHasItsCaptionSizeAndPlace)
{
    EXPECT_EQ(window.width, 340);
    EXPECT_EQ(window.height, 76);
    EXPECT_EQ(window.x, 268);
    EXPECT_EQ(window.y, 191);
}

// What is typeset depends on the fonts the machine has; that a text stands in the label,
// and that each text looks different, does not.
TEST_F(WindowBarTest, EveryStageTextIsShownAtOnce)
{
    std::set<std::vector<unsigned char>> seen;
    Image first = shot();
    EXPECT_TRUE(textInLabel(first)) << "the caption stands in the label before the first text";
    seen.insert(first.region(label()));
    for (int stage = 0; stage < 5; ++stage) {
        (*driver)("text " + std::to_string(stage));
        Image image = shot();
        EXPECT_TRUE(textInLabel(image)) << "stage " << stage;
        EXPECT_TRUE(seen.insert(image.region(label())).second) << "stage " << stage << " looks like an earlier text";
    }
}

TEST_F(WindowBarTest, ShorterTextPaintsOverALongerOne)
{
    (*driver)("text 0");
    std::vector<unsigned char> alone = shot().region(label());
    (*driver)("text 4");
    (*driver)("text 0");
    EXPECT_EQ(shot().region(label()), alone);
}

TEST_F(WindowBarTest, BarKeepsItsStoredRangeUntilTheSearchSetsOne)
{
    EXPECT_EQ(filled(shot()), 0);
    (*driver)("step 5");
    EXPECT_NEAR(filled(shot()), 160, 2);
    (*driver)("range");
    (*driver)("step 1");
    EXPECT_NEAR(filled(shot()), 319 * 50 / 2990, 2);
}

TEST_F(WindowBarTest, BarFillsWithTheSearchAndStaysFull)
{
    (*driver)("text 2");
    (*driver)("range");
    (*driver)("step 1");
    EXPECT_EQ(filled(shot()), 1);
    (*driver)("step 149");
    EXPECT_NEAR(filled(shot()), 160, 2);
    (*driver)("step 149");
    EXPECT_EQ(filled(shot()), 319);
    (*driver)("step 1");
    EXPECT_EQ(filled(shot()), 319) << "the step past the maximum must not start the bar over";
}

TEST_F(WindowBarTest, ErrorBoxCarriesTheCaptionAndTheTextGoesToStderr)
{
    (*driver)("text 4");
    driver->send("alert user@host: 100% failed");
    std::vector<TopWindow> windows = waitForMessageBox(display);
    EXPECT_EQ(windows.size(), 2u) << "the message box is a second window with the caption as its title";
    EXPECT_EQ(driver->err(), "user@host: 100% failed\n");
    EXPECT_EQ(driver->readLine(200ms), std::nullopt) << "the message box waits for the user";
    quitAtEnd = false;
}

std::string joined(const std::vector<std::string>& rows)
{
    std::string text;
    for (const std::string& row : rows)
        text += row + "\n";
    return text;
}

// The box's message is the word "OK", typeset in the same box with the font of the button's
// label: the button reads "OK" when that very picture stands inside it, whatever fonts the
// machine has. The bottom edge of the button's frame is the longest dark line of the box's
// lower rows; FLTK keeps the icon in the box's first 60 columns, left of the message.
TEST_F(WindowBarTest, ErrorBoxButtonReadsOk)
{
    driver->send("alert OK");
    ASSERT_EQ(waitForMessageBox(display).size(), 2u);
    // The box is mapped before it is painted, and may still be moved to its place: until
    // both are done its lower rows (where the server last reported them) are one dark
    // run as wide as the box. Seen under load: the sanitizers' slower start, and a place
    // read before the move. So the place is read again with every look.
    Image image;
    TopWindow box{};
    Rect edge{};
    for (int tries = 0; tries < 100 && (edge.width == 0 || edge.width >= box.width - 10); ++tries) {
        if (tries > 0)
            std::this_thread::sleep_for(50ms);
        const std::vector<TopWindow> windows = captionedWindows(display);
        if (windows.size() != 2u)
            continue;
        box = windows[0].width == window.width && windows[0].height == window.height ? windows[1] : windows[0];
        image = shot();
        edge = image.longestDarkRun({box.x, box.y + box.height - 20, box.width, 20});
    }
    ASSERT_GT(edge.width, 0) << "windows with the caption: " << captionedWindows(display).size()
                             << "; the driver's stderr: " << driver->err();
    ASSERT_LT(edge.width, box.width - 10) << "the box was never painted in its place";
    const std::vector<std::string> word = image.inkMask({box.x + 60, box.y, edge.x - box.x - 60, box.height});
    ASSERT_FALSE(word.empty()) << "no message left of the button";
    EXPECT_TRUE(image.holds({edge.x, box.y, edge.width, edge.y - box.y}, word))
        << "the message:\n" << joined(word) << "the button:\n"
        << joined(image.inkMask({edge.x, box.y, edge.width, edge.y - box.y}));
    quitAtEnd = false;
}

// The program itself with the window.
class ProgramOnDisplayTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char* name = std::getenv("DISPLAY");
        ASSERT_TRUE(name && *name) << "run this under xvfb-run";
        display = name;
    }

    std::unique_ptr<Process> start(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
    {
        std::vector<std::string> argv{DODOZ_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> fullEnv{"DISPLAY=" + display};
        fullEnv.insert(fullEnv.end(), env.begin(), env.end());
        return std::make_unique<Process>(argv, fullEnv, dir.path());
    }

    std::string display;
    TempDir dir;
};

// A whole run, on a task of a real SQLite repository, ends by itself and takes its window
// away; the progress goes to the window, not to stderr.
TEST_F(ProgramOnDisplayTest, RunEndsOnItsOwnAndClosesTheWindow)
{
    e2e::RunFixture task(e2e::Backend::SQLite);
    const int key = task.registerTask({.object = e2e::iris::versicolor});
    auto program = start({std::to_string(key)}, task.db().odbcEnvironment());
    const testsupport::ProcessResult ended = program->wait(60s);
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_EQ(ended.err, "");
    EXPECT_NE(TempDir::read(dir / "log/Dodoz.log").find(" 5. Сохранение результатов: OK"), std::string::npos);
    EXPECT_EQ(task.logs(key).size(), 1u);
    EXPECT_TRUE(captionedWindows(display).empty());
}

TEST_F(ProgramOnDisplayTest, ErrorWaitsInAMessageBoxAfterGoingToStderr)
{
    auto program = start({});
    std::vector<TopWindow> windows = waitForMessageBox(display);
    EXPECT_EQ(windows.size(), 2u);
    EXPECT_EQ(program->errSoFar(),
              u8s(u8" DifType.init():\n Данный файл запускается только из программы Мирелон\n"));
    EXPECT_TRUE(program->wait(300ms).timedOut) << "the message box waits for the user";
}

// An X server of the test's own, which it can take away while the driver uses it.
class OwnServer {
public:
    explicit OwnServer(TempDir& dir)
        : process({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"}, {},
                  dir.path(), {}, Process::Talk::Lines)
    {
        std::optional<std::string> number = process.readLine(20s);
        if (!number)
            throw std::runtime_error("Xvfb did not start: " + process.errSoFar());
        display = ":" + *number;
    }

    void stop()
    {
        process.signal(SIGCONT);
        process.signal(SIGTERM);
        process.wait(20s);
    }

    // The server keeps its connections open and stops answering on them.
    void freeze() { process.signal(SIGSTOP); }

    std::string display;
    Process process;
};

class LostDisplayTest : public testing::Test {
protected:
    TempDir dir;
    OwnServer server{dir};
    Driver driver{server.display, dir};
};

TEST_F(LostDisplayTest, ConsoleTakesOverAndTheRunEndsNormally)
{
    driver("text 0");
    server.stop();
    driver("text 1");
    driver("range");
    driver("step 300");
    driver("text 2");
    EXPECT_EQ(driver.quit(), 0);
    EXPECT_EQ(driver.err(), u8s(u8"Загрузка данных...\nОптимизация модели...\n"));
}

TEST_F(LostDisplayTest, ErrorBoxGoesAwayWithItsDisplay)
{
    driver("text 3");
    driver.send("alert failed");
    std::vector<TopWindow> windows = waitForMessageBox(server.display);
    ASSERT_EQ(windows.size(), 2u);
    server.stop();
    EXPECT_EQ(driver.readLine(10s), "ok");
    driver("step 1");
    EXPECT_EQ(driver.quit(), 0);
    EXPECT_EQ(driver.err(), "failed\n" + u8s(u8"Расчет выхода модели...\n"));
}

// A server that stops answering is given up after the display's deadline, like one that
// went away; the test holds it stopped far longer than that.
class StoppedDisplayTest : public testing::Test {
protected:
    ~StoppedDisplayTest() override { server.stop(); }

    TempDir dir;
    OwnServer server{dir};
};

// The state letter of /proc/<pid>/stat: 'T' for a stopped process.
char processState(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

bool waitUntilStopped(const Process& process)
{
    for (auto deadline = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(5ms))
        if (processState(process.pid()) == 'T')
            return true;
    return false;
}

TEST_F(StoppedDisplayTest, RunInStageFourFinishesWithItsRowsOnTheConsole)
{
    e2e::RunFixture task(e2e::Backend::SQLite);
    const int key = task.registerTask({.object = e2e::iris::versicolor});
    std::vector<std::string> env = task.db().odbcEnvironment();
    env.push_back("DISPLAY=" + server.display);
    env.push_back("DODOZ_TEST_STOP=output");
    Process program({DODOZ_BINARY, std::to_string(key)}, env, dir.path());
    ASSERT_TRUE(waitUntilStopped(program));
    ASSERT_EQ(captionedWindows(server.display).size(), 1u) << "the run shows its window until the server stops";
    server.freeze();
    program.signal(SIGCONT);

    const testsupport::ProcessResult ended = program.wait(60s);
    EXPECT_EQ(ended.exitCode, 0) << "the run waits for a stopped display";
    EXPECT_EQ(ended.err, u8s(u8"Сохранение результатов...\n"));
    EXPECT_NE(TempDir::read(dir / "log/Dodoz.log").find(" 5. Сохранение результатов: OK"), std::string::npos);
    EXPECT_EQ(task.logs(key).size(), 1u);
    EXPECT_EQ(task.results(key).size(), 5u);
}

TEST_F(StoppedDisplayTest, ErrorBoxGoesAwayWhenTheServerStopsAnswering)
{
    Driver driver{server.display, dir};
    driver("text 3");
    driver.send("alert failed");
    ASSERT_EQ(waitForMessageBox(server.display).size(), 2u);
    server.freeze();
    EXPECT_EQ(driver.readLine(60s), "ok") << "the message box waits for a stopped display";
    driver("step 1");
    EXPECT_EQ(driver.quit(), 0);
    EXPECT_EQ(driver.err(), "failed\n" + u8s(u8"Расчет выхода модели...\n"));
}

TEST_F(StoppedDisplayTest, ProgramEndsWhileTheServerIsStopped)
{
    Driver driver{server.display, dir};
    driver("text 0");
    server.freeze();
    EXPECT_EQ(driver.quit(), 0);
    EXPECT_EQ(driver.err(), "");
}

}  // namespace

// The pieces of zev1-wifi batch that need no port: reading and refusing plans, handing
// rows to ports, and the report formats.
#include "batch_plan.h"
#include "batch_ports.h"
#include "batch_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zev1::cli {
namespace {

using ::testing::HasSubstr;

TEST(batch_plan_test, ReadsColumnsInAnyOrderQuotesCommentsAndLineEnds) {
    const std::string plan = "\xEF\xBB\xBF"
                             "# production order 17\r\n"
                             " Label ,PORT,action,endpoint,ssid,verify\r\n"
                             "\"unit \"\"A\"\"\",ttyUSB0,write,\"10.0.0.5,5555\",plant net,0\r\n"
                             ",,,,,\r\n"
                             "# spare\n"
                             "b,serial=A5XK,,\"h,1\"\n"
                             "c,location=1-1.2,READ\n"
                             "\"x,y\",*,auto";
    const plan_result r = parse_plan(plan, std::string("from-file"));
    ASSERT_TRUE(r.failure.ok()) << r.failure.message;
    ASSERT_EQ(r.rows.size(), 4u);
    const plan_row& w = r.rows[0];
    EXPECT_EQ(w.line, 3u);
    EXPECT_EQ(w.label, "unit \"A\"");
    EXPECT_EQ(w.port, (port_selector{port_selector::kind::name, "ttyUSB0"}));
    EXPECT_EQ(w.action, unit_action::write);
    EXPECT_EQ(w.fields.endpoint, "10.0.0.5,5555");
    EXPECT_EQ(w.fields.ssid, "plant net");
    EXPECT_EQ(w.fields.key, "from-file"); // empty in the plan: the key file's
    EXPECT_FALSE(w.verify);
    EXPECT_EQ(r.rows[1].line, 6u);
    EXPECT_EQ(r.rows[1].port, (port_selector{port_selector::kind::serial, "A5XK"}));
    EXPECT_EQ(r.rows[1].action, unit_action::automatic);
    EXPECT_TRUE(r.rows[1].verify);
    EXPECT_EQ(r.rows[1].fields.endpoint, "h,1");
    EXPECT_TRUE(r.rows[1].fields.key.empty()); // an auto row never changes the key
    EXPECT_EQ(r.rows[2].port.by, port_selector::kind::location);
    EXPECT_EQ(r.rows[2].action, unit_action::read);
    EXPECT_FALSE(r.rows[2].verify);
    EXPECT_EQ(r.rows[3].line, 8u);
    EXPECT_EQ(r.rows[3].port.by, port_selector::kind::rest);
    EXPECT_EQ(r.rows[3].label, "x,y");
}

TEST(batch_plan_test, RefusedPlansNameTheLineAndColumn) {
    struct refused {
        std::string plan;
        exit_status status;
        std::string says;
    };
    const std::string head = "port,action,ssid,key,security,endpoint\n";
    const std::vector<refused> cases = {
        {head + "a,write," + std::string(34, 's') + "\n", exit_status::too_long,
         "line 2, column ssid: too long: 34 bytes, at most 33"},
        {head + "a\nb,write,,," + "WPA3\n", exit_status::too_long, "line 3, column security"},
        {head + "a,write,,,,\"" + std::string(147, 'e') + "\"\n", exit_status::too_long,
         "column endpoint"},
        {head + "a,write,,\xC3(\n", exit_status::too_long, "column key: not valid UTF-8"},
        {head + "a,write,\"x\ty\"\n", exit_status::too_long, "control character"},
        {head + "a,flash\n", exit_status::usage, "line 2, column action: unknown action"},
        {head + "a\n#\nA\nb\na\n", exit_status::usage, "line 6, column port: the port of line 2"},
        {head + "*\n*\n", exit_status::usage, "a second \"*\""},
        {head + "a,auto,net\n", exit_status::usage, "an auto row sets only the endpoint"},
        {head + "a,read,,,,h\n", exit_status::usage, "a read row sends nothing"},
        {head + "serial=\n", exit_status::usage, "names nothing"},
        {head + ",auto\n", exit_status::usage, "column port: empty"},
        {head + "a,auto,,,,,,\n", exit_status::usage, "8 fields, the header has 6"},
        {"port,colour\na,red\n", exit_status::usage, "line 1: unknown column \"colour\""},
        {"action\nauto\n", exit_status::usage, "no port column"},
        {"port,port\n", exit_status::usage, "column port twice"},
        {"port\n", exit_status::usage, "no rows"},
        {"port\n\"a\n", exit_status::usage, "line 2: a quoted field does not end"},
        {"port\n\"a\"b\n", exit_status::usage, "text after the closing quote"},
        {"port,verify\na,yes\n", exit_status::usage, "column verify"},
    };
    for (const refused& c : cases) {
        const plan_result r = parse_plan(c.plan, std::nullopt);
        EXPECT_EQ(r.failure.status, c.status) << c.plan;
        EXPECT_THAT(r.failure.message, HasSubstr(c.says)) << c.plan;
    }
    EXPECT_EQ(check_key(std::string(65, 'k')).status, exit_status::too_long);
    EXPECT_EQ(check_key("").status, exit_status::usage);
    EXPECT_TRUE(check_key(std::string(64, 'k')).ok());
}

TEST(batch_ports_test, RowsTakeTheirPortsAndTheRestRowTheOthers) {
    auto usb = [](std::string name, std::string serial, std::string location) {
        present_port p{std::move(name), {}};
        p.description.vid = "0403";
        p.description.serial_number = std::move(serial);
        p.description.location = std::move(location);
        return p;
    };
    present_port board{"ttyS0", {}};
    board.description.machine_port = true;
    const std::vector<present_port> present = {
        board, usb("ttyUSB0", "A1", "1-1.1"), usb("ttyUSB1", "B2", "1-1.2"),
        usb("ttyUSB2", "B2", "1-1.3"), usb("ttyUSB3", "", "")};
    auto rows_of = [](const std::string& ports) {
        return parse_plan("port\n" + ports, std::nullopt).rows;
    };
    const auto rows = rows_of("serial=A1\nlocation=1-1.2\n*\nttyACM9\n");
    port_assignment a = assign_ports(rows, present, {}, true);
    std::vector<std::string> got;
    for (const unit_plan& u : a.units) {
        got.push_back(u.port + "<" + std::to_string(u.row));
    }
    // The board's UART is left alone; a named port that is missing is still tried.
    EXPECT_EQ(got, (std::vector<std::string>{"ttyUSB2<2", "ttyUSB3<2", "ttyUSB0<0", "ttyUSB1<1",
                                             "ttyACM9<3"}));
    EXPECT_TRUE(a.refused.empty());
    EXPECT_TRUE(a.conflicts.empty());

    // Two adapters with one serial number; a serial nobody has; two rows on one port.
    a = assign_ports(rows_of("serial=B2\nserial=Z9\n"), present, {}, true);
    ASSERT_EQ(a.refused.size(), 2u);
    EXPECT_EQ(a.refused[0].result.status, exit_status::no_port);
    EXPECT_NE(a.refused[0].result.message.find("on 2 ports (ttyUSB1, ttyUSB2)"), std::string::npos);
    EXPECT_NE(a.refused[1].result.message.find("no present port"), std::string::npos);
    a = assign_ports(rows_of("ttyUSB1\nlocation=1-1.2\n"), present, {}, true);
    ASSERT_EQ(a.conflicts.size(), 1u);
    EXPECT_EQ(a.conflicts[0].result.message, "lines 2 and 3 all name port ttyUSB1");

    // Watching: what is set up already is skipped, and a missing row waits.
    a = assign_ports(rows, present, {"ttyUSB2", "ttyUSB0"}, false);
    got.clear();
    for (const unit_plan& u : a.units) {
        got.push_back(u.port);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"ttyUSB3", "ttyUSB1"}));
}

TEST(batch_report_test, KeysAreMaskedAndTextsEscapedInEveryFormat) {
    unit_report u;
    u.line = 4;
    u.port = "ttyUSB0";
    u.label = "A<1>,\"x\"";
    u.id = "ZEV1";
    u.action = unit_action::write;
    u.attempts = 2;
    u.seconds = 3.14159;
    u.written = wifi_settings{"WPA2", "net", "secret", "h,1"};
    u.result = outcome::fail(exit_status::mismatch, "verification failed: key differ & more");
    EXPECT_EQ(unit_json(u),
              "{\"port\":\"ttyUSB0\",\"label\":\"A<1>,\\\"x\\\"\",\"usb_serial\":\"\",\"id\":"
              "\"ZEV1\",\"action\":\"write\",\"status\":6,\"ok\":false,\"attempts\":2,"
              "\"seconds\":3.142,\"line\":4,\"message\":\"verification failed: key differ & "
              "more\",\"written\":{\"ssid\":\"net\",\"key\":\"***\",\"security\":\"WPA2\","
              "\"endpoint\":\"h,1\"}}\n");
    EXPECT_EQ(unit_line(u), "failed  ttyUSB0  A<1>,\"x\"  write  status 6: verification failed: "
                            "key differ & more (settings written)\n");
    const std::string csv = csv_report({u});
    EXPECT_THAT(csv,
                HasSubstr("\r\nttyUSB0,\"A<1>,\"\"x\"\"\",,ZEV1,write,6,0,2,3.142,4,"
                          "verification failed: key differ & more,1,net,***,WPA2,\"h,1\"\r\n"));
    const std::string xml = junit_xml({u}, 5.0);
    EXPECT_THAT(xml, HasSubstr("<testcase name=\"A&lt;1&gt;,&quot;x&quot;\""));
    EXPECT_THAT(xml, HasSubstr("failures=\"1\""));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"verification failed: key differ &amp; more\""));
    EXPECT_EQ(xml.find("secret"), std::string::npos);
    EXPECT_EQ(xml_text("a\x01\xFF"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(summary_json(totals_of({u, unit_report{}}, 9.5)),
              "{\"ok\":1,\"failed\":1,\"seconds\":9.5}\n");
}

} // namespace
} // namespace zev1::cli

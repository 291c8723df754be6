using System;
using System.Collections.Generic;
using System.IO;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class ProgressBarTests
    {
        private static RecordingTerminal Draw(int left, int value, int total)
        {
            var terminal = new RecordingTerminal();
            ToolRun.Capture(terminal, () => Scrivel.progressBar(left, value, total));
            return terminal;
        }

        private static int Count(string text, char c)
        {
            int n = 0;
            foreach (char x in text) if (x == c) n++;
            return n;
        }

        [TestCase(0, 0)]
        [TestCase(1, 1)]
        [TestCase(10, 4)]
        [TestCase(50, 16)]
        [TestCase(99, 30)]
        [TestCase(100, 31)]
        public void FilledCellsFollowTheSinglePrecisionRatio(int value, int cells)
        {
            var t = Draw(21, value, 100);
            string bar = t.Row(23, 53);
            Assert.AreEqual(new string('\u2592', cells) + new string(' ', 31 - cells), bar);
            for (int c = 23; c <= 53; c++)
                Assert.AreEqual(c < 23 + cells ? 15 : 0, t.Backgrounds[c], "background at column " + c);
        }

        [Test]
        public void FullBarAtColumn21()
        {
            var t = Draw(21, 100, 100);
            Assert.AreEqual("~|" + new string('\u2592', 31) + "|~100%", t.Row(21, 59));
            Assert.IsFalse(t.Chars.ContainsKey(60));
            Assert.AreEqual(0, t.Background, "left on black");
            Assert.AreEqual("hide", t.Calls[0]);
            Assert.AreEqual("show", t.Calls[t.Calls.Count - 1]);
            Assert.AreEqual(1, t.Calls.FindAll(c => c == "show").Count, "shown once, at the end");
        }

        [Test]
        public void EmptyBarAtColumn19()
        {
            var t = Draw(19, 0, 100);
            Assert.AreEqual("~|" + new string(' ', 31) + "|~0%", t.Row(19, 55));
            for (int c = 21; c <= 51; c++) Assert.AreEqual(0, t.Backgrounds[c]);
            Assert.AreEqual(0, t.Backgrounds[54]);
            Assert.AreEqual(0, t.Backgrounds[55]);
        }

        [Test]
        public void BarsKeepTheBackgroundFoundOnEntry()
        {
            var t = new RecordingTerminal();
            t.Background = 5;
            ToolRun.Capture(t, () => Scrivel.progressBar(0, 50, 100));
            Assert.AreEqual(5, t.Backgrounds[1]);
            Assert.AreEqual(5, t.Backgrounds[33]);
            Assert.AreEqual(15, t.Backgrounds[2]);
        }

        [Test]
        public void OtherTotalsScaleTheBar()
        {
            // 30 / 3 = 10 exactly, so a full bar of 3 fills 30 cells and
            // leaves the last one blank; only a ratio rounded up reaches 31.
            Assert.AreEqual(20, Count(Draw(0, 2, 3).Row(2, 32), '\u2592'));
            Assert.AreEqual(new string('\u2592', 30) + " ", Draw(0, 3, 3).Row(2, 32));
            // 30 / 11 rounds up in single precision and 30 / 7 down.
            Assert.AreEqual(31, Count(Draw(0, 11, 11).Row(2, 32), '\u2592'));
            Assert.AreEqual(30, Count(Draw(0, 7, 7).Row(2, 32), '\u2592'));
        }

        private static List<int> RunProtocol(int count, out string console)
        {
            RecordingTerminal t;
            return RunProtocol(count, out console, out t);
        }

        private static List<int> RunProtocol(int count, out string console, out RecordingTerminal t)
        {
            t = new RecordingTerminal();
            var terminal = t;
            console = ToolRun.Capture(terminal, () =>
            {
                var p = ProgressReport.Start(Messages.ImportLabel, count);
                for (int k = 0; k < count; k++) p.BeforeEntry(k);
                p.Finish();
            });
            foreach (var text in terminal.Texts)
            {
                if (text.Value.EndsWith("%")) Assert.AreEqual(19 + 35, text.Key, "percentage column");
                if (text.Value == "|") Assert.IsTrue(text.Key == 20 || text.Key == 52, "bar at " + text.Key);
            }
            return terminal.PercentagesDrawn();
        }

        [Test]
        public void ProtocolDrawsEachPercentageOnce()
        {
            string console;
            CollectionAssert.AreEqual(new[] { 100 }, RunProtocol(1, out console));
            RecordingTerminal t;
            CollectionAssert.AreEqual(new[] { 33, 66, 100 }, RunProtocol(3, out console, out t));
            Assert.AreEqual("reset", t.Calls[t.Calls.Count - 1], "the user's colours come back at the end");
            Assert.AreEqual(1, t.Calls.FindAll(c => c == "reset").Count);
            Assert.AreEqual("Compiling subtitles\r\n", console, "the label, the line break; the bar draws on the terminal");

            var many = RunProtocol(250, out console);
            Assert.AreEqual(0, many[0], "above 100 entries the first value is 0");
            Assert.AreEqual(101, many.Count, "every value 0 to 100, each once");
            for (int i = 0; i < many.Count; i++) Assert.AreEqual(i, many[i]);
        }

        [Test]
        public void ProtocolWithoutEntriesWritesLabelAndLineBreak()
        {
            string console;
            CollectionAssert.IsEmpty(RunProtocol(0, out console));
            Assert.AreEqual("Compiling subtitles\r\n", console);
        }

        [Test]
        public void PercentageIsTruncatedAndDoesNotOverflow()
        {
            Assert.AreEqual(33, ProgressReport.Percentage(0, 3));
            Assert.AreEqual(0, ProgressReport.Percentage(0, 101));
            Assert.AreEqual(100, ProgressReport.Percentage(29999999, 30000000));
            Assert.AreEqual(50, ProgressReport.Percentage(14999999, 30000000));
        }

        [Test]
        public void EscapeSequencesForUnixTerminals()
        {
            Assert.AreEqual("\u001b[23G", AnsiTerminal.MoveSequence(22));
            Assert.AreEqual("\u001b[1G", AnsiTerminal.MoveSequence(0));
            Assert.AreEqual("\u001b[107m", AnsiTerminal.BackgroundSequence(15));
            Assert.AreEqual("\u001b[40m", AnsiTerminal.BackgroundSequence(0));
            Assert.AreEqual("\u001b[41m", AnsiTerminal.BackgroundSequence(4), "dark red");
            Assert.AreEqual("\u001b[44m", AnsiTerminal.BackgroundSequence(1), "dark blue");
            Assert.AreEqual("\u001b[102m", AnsiTerminal.BackgroundSequence(10), "green");
            Assert.AreEqual("\u001b[47m", AnsiTerminal.BackgroundSequence(7), "grey");
        }

        [Test]
        public void AnsiTerminalWritesTheBarThroughTheConsoleOutput()
        {
            string output = ToolRun.Capture(new AnsiTerminal(), () => Scrivel.progressBar(21, 100, 100));
            const string E = "\u001b[";
            StringAssert.StartsWith(E + "?25l" + E + "23G|" + E + "55G|" + E + "107m" + E + "24G\u2592", output);
            StringAssert.EndsWith(E + "57G" + E + "40m100%" + E + "?25h", output);
            Assert.AreEqual(31, Count(output, '\u2592'));
            Assert.AreEqual(E + "49m", ToolRun.Capture(new AnsiTerminal(), () => Terminal.Current.ResetColours()));
        }

        // windows, redirected, TERM, columns (0: not known), the terminal chosen.
        [TestCase(false, false, "xterm-256color", 80, typeof(AnsiTerminal))]
        [TestCase(false, false, null, 0, typeof(AnsiTerminal))]
        [TestCase(false, false, "dumb", 80, typeof(PlainTerminal))]
        [TestCase(false, true, "xterm", 80, typeof(PlainTerminal))]
        [TestCase(true, false, null, 120, typeof(WindowsConsoleTerminal))]
        [TestCase(true, true, null, 120, typeof(PlainTerminal))]
        // The widest line, "Extracting subtitles:" and the bar to "100%", takes 60 columns.
        [TestCase(false, false, "xterm", 60, typeof(AnsiTerminal))]
        [TestCase(false, false, "xterm", 59, typeof(PlainTerminal))]
        [TestCase(false, false, "xterm", 20, typeof(PlainTerminal))]
        [TestCase(true, false, null, 20, typeof(PlainTerminal))]
        public void TerminalChoice(bool windows, bool redirected, string term, int columns, Type chosen)
        {
            Assert.IsInstanceOf(chosen, Terminal.Choose(windows, redirected, term, columns));
        }

        [Test]
        public void PlainTerminalDrawsNothing()
        {
            string output = ToolRun.Capture(new PlainTerminal(), () =>
            {
                var p = ProgressReport.Start(Messages.ExtractionLabel, 2);
                p.BeforeEntry(0);
                p.BeforeEntry(1);
                p.Finish();
            });
            Assert.AreEqual("Extracting subtitles:\r\n", output);
        }
    }
}

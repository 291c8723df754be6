using System;
using System.Collections.Generic;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class ProgressBarTests
    {
        // left column, value, total, background on entry (-1: the user's), shaded cells.
        [TestCase(21, 0, 100, -1, 0)]
        [TestCase(21, 1, 100, -1, 1)]
        [TestCase(21, 10, 100, -1, 4)]
        [TestCase(21, 50, 100, -1, 16)]
        [TestCase(21, 99, 100, -1, 30)]
        [TestCase(21, 100, 100, -1, 31)]   // 30 / 100 rounds up in single precision
        [TestCase(19, 0, 100, -1, 0)]
        [TestCase(0, 50, 100, 5, 16)]      // the bars keep the background found on entry
        [TestCase(0, 2, 3, -1, 20)]
        [TestCase(0, 3, 3, -1, 30)]        // 30 / 3 is exact: a full bar leaves the last cell blank
        [TestCase(0, 11, 11, -1, 31)]      // 30 / 11 rounds up
        [TestCase(0, 7, 7, -1, 30)]        // 30 / 7 rounds down
        public void BarIsDrawnOnItsRow(int left, int value, int total, int entryBackground, int cells)
        {
            var t = new RecordingTerminal { Background = entryBackground };
            ToolRun.Capture(t, () => Scrivel.progressBar(left, value, total));

            string percentage = value + "%";
            string row = "|" + new string('\u2592', cells) + new string(' ', 31 - cells) + "|~" + percentage;
            Assert.AreEqual("~" + row + "~", t.Row(left, left + row.Length + 1), "the row from the left column");
            // Each column's background as a palette digit, "u" the user's, "~" none written.
            var backgrounds = new StringBuilder();
            for (int c = left + 1; c <= left + row.Length; c++)
            {
                int background;
                if (!t.Backgrounds.TryGetValue(c, out background)) backgrounds.Append('~');
                else backgrounds.Append(background < 0 ? "u" : background.ToString("X"));
            }
            string bar = entryBackground < 0 ? "u" : entryBackground.ToString("X");
            Assert.AreEqual(bar + new string('F', cells) + new string('0', 31 - cells) + bar + "~" + new string('0', percentage.Length),
                backgrounds.ToString(), "the bars as found, shaded cells white, the rest and the percentage black");
            Assert.AreEqual(0, t.Background, "left on black");
            Assert.AreEqual("hide", t.Calls[0]);
            Assert.AreEqual("show", t.Calls[t.Calls.Count - 1]);
            Assert.AreEqual(1, t.Calls.FindAll(c => c == "show").Count, "shown once, at the end");
        }

        // entries, the percentages drawn (from..to: each value once), the user's colours back.
        [TestCase(0, "")]
        [TestCase(1, "100")]
        [TestCase(3, "33,66,100")]
        [TestCase(250, "0..100")]          // above 100 entries the first value is 0
        public void ProtocolDrawsEachPercentageOnce(int count, string drawn)
        {
            var t = new RecordingTerminal();
            string console = ToolRun.Capture(t, () =>
            {
                var p = ProgressReport.Start(Messages.ImportLabel, count);
                for (int k = 0; k < count; k++) p.BeforeEntry(k);
                p.Finish();
            });
            var expected = new List<int>();
            if (drawn.Contains(".."))
                for (int v = 0; v <= 100; v++) expected.Add(v);
            else if (drawn.Length > 0)
                foreach (string v in drawn.Split(',')) expected.Add(int.Parse(v));
            CollectionAssert.AreEqual(expected, t.PercentagesDrawn());
            foreach (var text in t.Texts)
            {
                if (text.Value.EndsWith("%")) Assert.AreEqual(19 + 35, text.Key, "percentage column");
                if (text.Value == "|") Assert.IsTrue(text.Key == 20 || text.Key == 52, "bar at " + text.Key);
            }
            Assert.AreEqual(count > 0 ? 1 : 0, t.Calls.FindAll(c => c == "reset").Count, "colours reset once, after a bar");
            if (count > 0) Assert.AreEqual("reset", t.Calls[t.Calls.Count - 1]);
            Assert.AreEqual("Compiling subtitles\r\n", console, "the label, the line break; the bar draws on the terminal");
        }

        [Test]
        public void PercentageIsTruncatedAndDoesNotOverflow()
        {
            Assert.AreEqual(33, ProgressReport.Percentage(0, 3));
            Assert.AreEqual(0, ProgressReport.Percentage(0, 101));
            Assert.AreEqual(100, ProgressReport.Percentage(29999999, 30000000));
            Assert.AreEqual(50, ProgressReport.Percentage(14999999, 30000000));
        }

        // A move (column) or a background (palette index), and its escape sequence.
        [TestCase("move", 22, "\u001b[23G")]
        [TestCase("move", 0, "\u001b[1G")]
        [TestCase("background", 15, "\u001b[107m")]
        [TestCase("background", 0, "\u001b[40m")]
        [TestCase("background", 4, "\u001b[41m")]     // dark red
        [TestCase("background", 1, "\u001b[44m")]     // dark blue
        [TestCase("background", 10, "\u001b[102m")]   // green
        [TestCase("background", 7, "\u001b[47m")]     // grey
        public void EscapeSequencesForUnixTerminals(string what, int value, string sequence)
        {
            Assert.AreEqual(sequence, what == "move" ? AnsiTerminal.MoveSequence(value) : AnsiTerminal.BackgroundSequence(value));
        }

        [Test]
        public void AnsiTerminalWritesTheBarThroughTheConsoleOutput()
        {
            string output = ToolRun.Capture(new AnsiTerminal(), () => Scrivel.progressBar(21, 100, 100));
            const string E = "\u001b[";
            StringAssert.StartsWith(E + "?25l" + E + "23G|" + E + "55G|" + E + "107m" + E + "24G\u2592", output);
            StringAssert.EndsWith(E + "57G" + E + "40m100%" + E + "?25h", output);
            Assert.AreEqual(31, output.Split('\u2592').Length - 1);
            Assert.AreEqual(E + "49m", ToolRun.Capture(new AnsiTerminal(), () => Terminal.Current.ResetColours()));
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
    }
}

using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;

namespace tool.Tests
{
    /// <summary>
    /// A terminal that keeps a model of the cursor's row: the character and
    /// the background colour last written at each column, the cursor column,
    /// the visibility of the cursor and every call in order.
    /// </summary>
    public sealed class RecordingTerminal : ITerminal
    {
        public int Column;
        public int Background = -1;
        public bool CursorVisible = true;
        public readonly Dictionary<int, char> Chars = new Dictionary<int, char>();
        public readonly Dictionary<int, int> Backgrounds = new Dictionary<int, int>();
        public readonly List<string> Calls = new List<string>();
        /// <summary>Every text written after a move to a column, with that column.</summary>
        public readonly List<KeyValuePair<int, string>> Texts = new List<KeyValuePair<int, string>>();

        public void Write(string text)
        {
            Calls.Add("write " + text);
            Texts.Add(new KeyValuePair<int, string>(Column, text));
            foreach (char c in text)
            {
                Chars[Column] = c;
                Backgrounds[Column] = Background;
                Column++;
            }
        }

        public void MoveToColumn(int column)
        {
            Calls.Add("move " + column);
            Column = column;
        }

        public void SetCursorVisible(bool visible)
        {
            Calls.Add(visible ? "show" : "hide");
            CursorVisible = visible;
        }

        public void SetBackground(int colour)
        {
            Calls.Add("background " + colour);
            Background = colour;
        }

        public void ResetColours()
        {
            Calls.Add("reset");
            Background = -1;
        }

        /// <summary>The row from column first to last, a '~' where nothing was written.</summary>
        public string Row(int first, int last)
        {
            var s = new StringBuilder();
            for (int c = first; c <= last; c++)
            {
                char ch;
                s.Append(Chars.TryGetValue(c, out ch) ? ch : '~');
            }
            return s.ToString();
        }

        /// <summary>The values drawn at the percentage column, in order ("33%" gives 33).</summary>
        public List<int> PercentagesDrawn()
        {
            var values = new List<int>();
            foreach (var t in Texts)
            {
                if (t.Value.EndsWith("%")) values.Add(int.Parse(t.Value.Substring(0, t.Value.Length - 1)));
            }
            return values;
        }
    }

    /// <summary>Runs the tool in-process with its console captured.</summary>
    public static class ToolRun
    {
        /// <summary>Runs Main with a terminal that draws no bar; returns everything printed.</summary>
        public static string Main(params string[] args)
        {
            return Main(new PlainTerminal(), args);
        }

        /// <summary>Runs Main drawing on the given terminal; returns everything printed.</summary>
        public static string Main(ITerminal terminal, params string[] args)
        {
            return Capture(terminal, () => Scrivel.Main(args));
        }

        /// <summary>Runs an action with the console captured and the given terminal in use.</summary>
        public static string Capture(ITerminal terminal, Action action)
        {
            var console = new StringWriter();
            ConsoleOut.Redirect(console);
            Terminal.Use(terminal);
            try
            {
                action();
            }
            finally
            {
                ConsoleOut.Redirect(null);
                Terminal.Use(null);
            }
            return console.ToString();
        }

        /// <summary>The banner's four lines as printed, CR LF after each.</summary>
        public const string Banner =
            "-----------------------------------------\r\n" +
            "  Scrivel  - Vantorra - Text Extractor \r\n" +
            "  Ostrel - v1.0 - 2015.01.15\r\n" +
            "-----------------------------------------\r\n";
    }

    /// <summary>A fixture whose every test gets a fresh <see cref="TempFolder"/>, deleted after it.</summary>
    public abstract class FolderFixture
    {
        protected TempFolder folder;

        [SetUp]
        public void CreateFolder() { folder = new TempFolder(); }

        [TearDown]
        public void DeleteFolder() { folder.Dispose(); }
    }

    /// <summary>Text files written and read through the tool's own writer and splitter.</summary>
    public static class TextFiles
    {
        /// <summary>The text file that extraction writes for these values.</summary>
        public static byte[] Of(params string[] values)
        {
            var text = new CollectedText();
            foreach (string v in values) text.AddLine(v);
            return text.Bytes();
        }

        /// <summary>The lines that import reads from a text file's bytes.</summary>
        public static List<string> Lines(byte[] file)
        {
            return new List<string>(new TextLines(file));
        }

        /// <summary>The whole file's bytes, byte-order mark first.</summary>
        public static byte[] Bytes(this CollectedText text)
        {
            var stream = new MemoryStream();
            text.WriteTo(stream);
            return stream.ToArray();
        }

        /// <summary>The lines as the file holds them, without the byte-order mark.</summary>
        public static string Text(this CollectedText text)
        {
            byte[] bytes = text.Bytes();
            var chars = new char[bytes.Length / 2 - 1];
            for (int i = 0; i < chars.Length; i++) chars[i] = (char)(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
            return new string(chars);
        }

        /// <summary>The bytes written so far, from the writer's origin to its end.</summary>
        public static byte[] ToArray(this ByteWriter writer)
        {
            var stream = new MemoryStream();
            writer.WriteTo(stream);
            return stream.ToArray();
        }
    }

    /// <summary>A fresh folder under the temporary directory, deleted with its content on Dispose.</summary>
    public sealed class TempFolder : IDisposable
    {
        public TempFolder()
        {
            Path = System.IO.Path.Combine(System.IO.Path.GetTempPath(), "scrivel-test-" + Guid.NewGuid().ToString("N"));
            Directory.CreateDirectory(Path);
        }

        public string Path { get; private set; }

        /// <summary>The full path of a file in this folder.</summary>
        public string File(string name)
        {
            return System.IO.Path.Combine(Path, name);
        }

        /// <summary>The names of the files in this folder, sorted.</summary>
        public string[] FileNames()
        {
            var names = new List<string>();
            foreach (string f in Directory.GetFileSystemEntries(Path)) names.Add(System.IO.Path.GetFileName(f));
            names.Sort(StringComparer.Ordinal);
            return names.ToArray();
        }

        public void Dispose()
        {
            try { Directory.Delete(Path, true); }
            catch (IOException) { }
        }
    }
}

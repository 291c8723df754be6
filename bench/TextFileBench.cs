using System;
using System.Diagnostics;
using System.IO;
using System.Text;
using tool;

/// <summary>
/// Times the text file's writing, reading and safe writing, as extraction
/// and import do them, for a text of about 10 MB (as UTF-16) against plain
/// floors: the runtime's own UTF-16 encoder and decoder and an ordinary
/// write with a flush to disk.
///   mono build/bench/TextFileBench.exe [megabytes]
/// </summary>
public static class TextFileBench
{
    public static int Main(string[] args)
    {
        int megabytes = args.Length > 0 ? int.Parse(args[0]) : 10;
        string text = MakeText(megabytes * 1024 * 1024 / 2);
        string[] values = text.Split(new[] { "\r\n" }, StringSplitOptions.None);
        Console.WriteLine("text: " + text.Length + " characters, " + (2 + 2L * text.Length) + " bytes as UTF-16");

        CollectedText collected = null;
        Report("CollectedText.AddLine", Best(delegate()
               {
                   collected = new CollectedText();
                   for (int i = 0; i < values.Length - 1; i++) collected.AddLine(values[i]);
               }),
               "Encoding.Unicode.GetBytes", Best(delegate() { Encoding.Unicode.GetBytes(text); }));
        var file = new MemoryStream();
        collected.WriteTo(file);
        byte[] encoded = file.ToArray();

        int count = 0;
        Report("TextLines, every line", Best(delegate()
               {
                   var lines = new TextLines(encoded);
                   count = lines.Count;
                   for (int i = 0; i < count; i++) GC.KeepAlive(lines[i]);
               }),
               "Encoding.Unicode.GetString", Best(delegate() { Encoding.Unicode.GetString(encoded, 2, encoded.Length - 2); }));
        Console.WriteLine("lines read: " + count);

        string folder = Path.Combine(Path.GetTempPath(), "scrivel-bench-textfile-" + Guid.NewGuid().ToString("N"));
        Directory.CreateDirectory(folder);
        try
        {
            string target = Path.Combine(folder, "Bench.txt");
            string plain = Path.Combine(folder, "Plain.txt");
            Report("SafeFile.Write", Best(delegate() { SafeFile.Write(target, collected.WriteTo); }),
                   "File.WriteAllBytes + fsync", Best(delegate()
                   {
                       using (var s = new FileStream(plain, FileMode.Create, FileAccess.Write))
                       {
                           s.Write(encoded, 0, encoded.Length);
                           s.Flush(true);
                       }
                   }));
        }
        finally
        {
            Directory.Delete(folder, true);
        }
        return 0;
    }

    /// <summary>Dialogue-like lines of 20 to 120 characters with some non-Latin letters and escapes.</summary>
    private static string MakeText(int characters)
    {
        var sb = new StringBuilder(characters + 200);
        var words = new[] { "Where", "were", "you", "last", "night?", "Überzeugung", "Ворота", "закрыты", "注意力", "{\\n}", "gate" };
        uint state = 12345;
        while (sb.Length < characters)
        {
            int length = 20 + (int)(state % 100);
            int start = sb.Length;
            while (sb.Length - start < length)
            {
                state = state * 1664525 + 1013904223;
                sb.Append(words[(state >> 16) % (uint)words.Length]).Append(' ');
            }
            sb.Append("\r\n");
        }
        return sb.ToString();
    }

    private static double Best(Action action)
    {
        double best = double.MaxValue;
        for (int i = 0; i < 5; i++)
        {
            var clock = Stopwatch.StartNew();
            action();
            best = Math.Min(best, clock.Elapsed.TotalMilliseconds);
        }
        return best;
    }

    private static void Report(string what, double ms, string floor, double floorMs)
    {
        Console.WriteLine(string.Format("{0,-24} {1,8:F1} ms   ({2}: {3:F1} ms, ratio {4:F2})", what, ms, floor, floorMs, ms / floorMs));
    }
}

// Reference "-lh1-" coder for the skin tests: the Java LHA library (libjlha-java)
// compresses or expands a raw stream, independently of our own coder.
//   java -cp /usr/share/java/jlha.jar Lh1Peer.java encode IN OUT [IN OUT]...
//   java -cp /usr/share/java/jlha.jar Lh1Peer.java decode SIZE IN OUT
import java.io.*;
import java.nio.file.*;
import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaProperty;

public class Lh1Peer {
  public static void main(String[] args) throws Exception {
    if (args.length >= 3 && args.length % 2 == 1 && args[0].equals("encode")) {
      for (int i = 1; i < args.length; i += 2) {
        byte[] data = Files.readAllBytes(Paths.get(args[i]));
        ByteArrayOutputStream raw = new ByteArrayOutputStream();
        OutputStream enc = CompressMethod.connectEncoder(raw, CompressMethod.LH1, LhaProperty.getProperties());
        enc.write(data);
        enc.close();
        Files.write(Paths.get(args[i + 1]), raw.toByteArray());
      }
    } else if (args.length == 4 && args[0].equals("decode")) {
      long size = Long.parseLong(args[1]);
      InputStream in = new ByteArrayInputStream(Files.readAllBytes(Paths.get(args[2])));
      InputStream dec = CompressMethod.connectDecoder(in, CompressMethod.LH1, LhaProperty.getProperties(), size);
      ByteArrayOutputStream out = new ByteArrayOutputStream();
      byte[] buf = new byte[65536];
      int n;
      while ((n = dec.read(buf)) > 0) out.write(buf, 0, n);
      Files.write(Paths.get(args[3]), out.toByteArray());
    } else {
      System.err.println("usage: encode IN OUT [IN OUT]... | decode SIZE IN OUT");
      System.exit(2);
    }
  }
}

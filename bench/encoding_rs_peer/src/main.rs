//! encoding_rs_peer LABEL INPUT OUTPUT: the page at INPUT, in the encoding
//! LABEL names (a byte order mark, when there is one, wins), decoded strictly
//! and encoded strictly to Shift_JIS into OUTPUT. Exit 1 when a byte sequence
//! is malformed or a character has no Shift_JIS code, as kelvane fails then.
use encoding_rs::{EncoderResult, Encoding, SHIFT_JIS};
use std::{env, fs, process};

fn fail(message: &str, status: i32) -> ! {
    eprintln!("encoding_rs_peer: {}", message);
    process::exit(status)
}

fn main() {
    let args: Vec<String> = env::args().collect();
    if args.len() != 4 {
        fail("usage: encoding_rs_peer LABEL INPUT OUTPUT", 2);
    }
    let labelled = Encoding::for_label(args[1].as_bytes())
        .unwrap_or_else(|| fail("unknown encoding label", 2));
    let bytes = fs::read(&args[2]).unwrap_or_else(|_| fail("cannot read the input", 2));
    let (encoding, skip) = Encoding::for_bom(&bytes).unwrap_or((labelled, 0));
    let text = encoding
        .decode_without_bom_handling_and_without_replacement(&bytes[skip..])
        .unwrap_or_else(|| fail("malformed input", 1));
    let mut encoder = SHIFT_JIS.new_encoder();
    let room = encoder
        .max_buffer_length_from_utf8_without_replacement(text.len())
        .unwrap_or_else(|| fail("input too long", 2));
    let mut out = Vec::with_capacity(room);
    let (result, _) = encoder.encode_from_utf8_to_vec_without_replacement(&text, &mut out, true);
    if result != EncoderResult::InputEmpty {
        fail("a character without a Shift_JIS code", 1);
    }
    fs::write(&args[3], &out).unwrap_or_else(|_| fail("cannot write the output", 2));
}

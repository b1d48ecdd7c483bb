#!/usr/bin/perl
# Mends a manual page that help2man made from a Chinese --help, in place:
# - the "用法：" / "或：" lines go from DESCRIPTION (help2man does not know them as the usage, so
#   they ran together there; the page's SYNOPSIS comes from its .h2m file instead);
# - groff breaks lines only at spaces, and Chinese text has none: a zero-width break point (\:)
#   follows each Chinese character, except before closing punctuation and after opening one, and
#   a line of the help that ends in Chinese runs on into the next without a space (\c).
#   tidy.pl PAGE
use strict;
use warnings;
use utf8;
use open qw(:std :encoding(UTF-8));

my $page = shift or die "usage: tidy.pl PAGE\n";
open(my $in, '<', $page) or die "$page: $!\n";
my @lines = <$in>;
close($in);
chomp(@lines);

my $wide = qr/[\x{2E80}-\x{9FFF}\x{F900}-\x{FAFF}\x{FF00}-\x{FFEF}]/;
my $closing = qr/[、。，：；！？）》」』】\x{FF09}\x{FF0C}\x{FF1A}\x{FF1B}]/;
my $opening = qr/[（《「『【]/;

my @out;
my $usage = 0;
for my $line (@lines) {
  $usage = 1 if $line =~ /^用法：/;
  $usage = 0 if $usage && $line =~ /^\.(PP|SH)/;
  next if $usage || ($line eq '.PP' && @out && $out[-1] eq '.PP');
  push @out, $line;
}

for my $i (0 .. $#out) {
  next if $out[$i] =~ /^[.']/;
  $out[$i] =~ s/($wide)(?=.)(?!$closing)/my $c = $1; $c =~ $opening ? $c : "$c\\:"/ge;
  $out[$i] .= '\\c'
    if $out[$i] =~ /$wide(\\:)?$/ && $i < $#out && $out[$i + 1] =~ /^$wide/;
}
open(my $out, '>', $page) or die "$page: $!\n";
print $out map { "$_\n" } @out;
close($out);

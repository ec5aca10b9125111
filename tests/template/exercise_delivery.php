<?php
// Runs the filled template's delivery functions and prints one JSON list of [passed, what] pairs:
// the Range rules against known answers, and the streamer itself, each request in a php process
// of its own (it ends with exit), against a stored file and a list made here the way the build
// makes them: status, body bytes, the action it fires, and what it refuses.
// Usage: php exercise_delivery.php FILLED_PLUGIN_DIR IDENTIFIER

list( , $plugin, $id ) = $argv + array( null, '', '' );

$results = array();
function expect( $ok, $what ) {
	global $results;
	$results[] = array( (bool) $ok, $what );
}

define( 'ABSPATH', '/' );
function add_action() {}
require "$plugin/modules/delivery-store.php";

$range = $id . '_delivery_range';
$cases = array(
	// header, size, expected: array( first, last ), null (whole file) or false (416).
	array( '', 1000, null ),
	array( 'bytes=0-99', 1000, array( 0, 99 ) ),
	array( 'bytes=5-5', 1000, array( 5, 5 ) ),
	array( 'bytes=999-999', 1000, array( 999, 999 ) ),
	array( 'bytes=0-5000', 1000, array( 0, 999 ) ),
	array( 'bytes=990-', 1000, array( 990, 999 ) ),
	array( 'bytes=-10', 1000, array( 990, 999 ) ),
	array( 'bytes=-1', 1000, array( 999, 999 ) ),
	array( 'bytes=-1000', 1000, array( 0, 999 ) ),
	array( 'bytes=-2000', 1000, array( 0, 999 ) ),
	array( 'bytes=-0', 1000, false ),
	array( 'bytes=1000-', 1000, false ),
	array( 'bytes=1000-1005', 1000, false ),
	array( 'bytes=10-5', 1000, false ),
	array( 'bytes=99999999999999999999-', 1000, false ),
	array( 'bytes=-99999999999999999999', 1000, array( 0, 999 ) ),
	array( 'bytes=0-', 0, false ),
	array( 'bytes=-5', 0, false ),
	array( 'bytes=-', 1000, null ),
	array( 'bytes=0-1,5-6', 1000, null ),
	array( 'items=0-5', 1000, null ),
	array( 'bytes=a-5', 1000, null ),
	array( 'bytes = 0-5', 1000, null ),
);
$wrong = array();
foreach ( $cases as $case ) {
	list( $header, $size, $want ) = $case;
	$got = $range( $header, $size );
	if ( $got !== $want ) {
		$wrong[] = "'$header' of $size: " . json_encode( $got ) . ' instead of ' . json_encode( $want );
	}
}
expect( ! $wrong, 'the Range rules give the known answers for every form (' . count( $cases ) . ' headers)' . ( $wrong ? ': ' . implode( '; ', $wrong ) : '' ) );

// A stored file and its list, as the build writes them; the file's own bytes hold PHP that must
// never run.
$work  = sys_get_temp_dir() . '/vantor-delivery-' . getmypid();
$guard = '<?php exit; __halt_compiler();';
$bytes = "<?php echo 'ran'; ?>\n" . str_repeat( "\x00\xff line of the guide\r\n", 4000 );
mkdir( "$work/delivery-files", 0777, true );
copy( "$plugin/modules/delivery-store.php", "$work/delivery-store.php" );
copy( "$plugin/modules/upload.php", "$work/upload.php" );
file_put_contents( "$work/delivery-files/0123456789abcdef0123456789abcdef.php", $guard . $bytes );
$name = "files/Tom's \"guide\" \\ ?>.pdf";
file_put_contents(
	"$work/delivery.php",
	"<?php\nif ( ! defined( 'ABSPATH' ) ) {\n\texit;\n}\nreturn " . var_export(
		array(
			'files'  => array( $name ),
			'stored' => array(
				array(
					'file'   => 'delivery-files/0123456789abcdef0123456789abcdef.php',
					'offset' => strlen( $guard ),
					'size'   => strlen( $bytes ),
					'sha256' => hash( 'sha256', $bytes ),
				),
			),
		),
		true
	) . ";\n"
);
$size = strlen( $bytes );

// Stand-ins for the WordPress functions the streamer calls; what they are told goes to stderr.
file_put_contents(
	"$work/probe.php",
	'<?php define( "ABSPATH", "/" );
	function note( $what ) { fwrite( STDERR, json_encode( $what ) . "\n" ); }
	function status_header( $code ) { note( array( "status", $code ) ); }
	function wp_die( $message, $title, $args ) { note( array( "die", $args["response"] ) ); exit; }
	function do_action( ...$args ) { note( array_merge( array( "action" ), $args ) ); }
	function add_action() {}
	function esc_html__( $text ) { return $text; }
	function sanitize_text_field( $text ) { return trim( $text ); }
	function wp_unslash( $value ) { return $value; }
	function wp_check_filetype( $file ) { return array( "type" => "application/pdf" ); }
	function register_deactivation_hook() {}
	function __( $text ) { return $text; }
	function esc_html( $text ) { return htmlspecialchars( $text ); }
	function wp_basename( $path ) { return basename( $path ); }
	function get_option( $name, $default = false ) { return $default; }
	function ' . $id . '_post_type() { return "' . $id . '"; }
	function ' . $id . '_private_headers() { note( array( "private" ) ); }
	$request = json_decode( $argv[1], true );
	$_SERVER = array_merge( $_SERVER, $request["server"] );
	require __DIR__ . "/delivery-store.php";
	require __DIR__ . "/upload.php";
	' . $id . '_send_delivery_file( $request["name"], array( "buyer_id" => 7 ) );
	note( array( "no exit" ) );'
);

// One request: the body it printed and the notes of the stand-ins.
function send( $work, $name, $server = array() ) {
	$cmd  = implode( ' ', array_map( 'escapeshellarg', array( PHP_BINARY, "$work/probe.php", json_encode( array( 'name' => $name, 'server' => $server ) ) ) ) );
	$proc = proc_open( $cmd, array( 1 => array( 'pipe', 'w' ), 2 => array( 'pipe', 'w' ) ), $pipes );
	$body = stream_get_contents( $pipes[1] );
	$err  = stream_get_contents( $pipes[2] );
	proc_close( $proc );
	$notes = array_map( function ( $line ) { return json_decode( $line, true ) ?? $line; }, array_filter( explode( "\n", $err ) ) );
	return array( $body, array_values( $notes ) );
}

$answers = array(
	// Range header => the bytes that must come back (false: 416 with no body).
	''                       => array( 0, $size - 1, 200 ),
	'bytes=0-0'              => array( 0, 0, 206 ),
	'bytes=100-199'          => array( 100, 199, 206 ),
	'bytes=' . ( $size - 5 ) . '-' => array( $size - 5, $size - 1, 206 ),
	'bytes=-7'               => array( $size - 7, $size - 1, 206 ),
	'bytes=-' . ( $size * 2 ) => array( 0, $size - 1, 206 ),
	'bytes=-0'               => false,
	"bytes=$size-"           => false,
	'bytes=10-5'             => false,
);
$wrong = array();
foreach ( $answers as $header => $want ) {
	list( $body, $notes ) = send( $work, $name, '' === $header ? array() : array( 'HTTP_RANGE' => $header ) );
	if ( false === $want ) {
		$expected = array( array( 'status', 416 ) );
		$body_ok  = '' === $body;
	} else {
		list( $first, $last, $status ) = $want;
		$expected = array( array( 'status', $status ), array( 'action', "{$id}_delivery_sent", $name, $last - $first + 1, array( 'buyer_id' => 7 ) ) );
		$body_ok  = substr( $bytes, $first, $last - $first + 1 ) === $body;
	}
	if ( ! $body_ok || $notes !== $expected ) {
		$wrong[] = "'$header': " . strlen( $body ) . ' bytes, ' . json_encode( $notes );
	}
}
expect( ! $wrong, 'the streamer sends exactly the bytes each Range asks for after the guard, tells who sent what, and ends a 416 there' . ( $wrong ? ': ' . implode( '; ', $wrong ) : '' ) );

list( $body, $notes ) = send( $work, $name, array( 'REQUEST_METHOD' => 'HEAD' ) );
expect( '' === $body && array( array( 'status', 200 ) ) === $notes, 'a HEAD request gets the headers only, and no download is reported' );

$refused = array();
foreach ( array( 'files/other.pdf', basename( $name ), '../delivery.php', 'delivery-files/0123456789abcdef0123456789abcdef.php' ) as $other ) {
	list( $body, $notes ) = send( $work, $other );
	if ( '' !== $body || array( array( 'die', 404 ) ) !== $notes ) {
		$refused[] = "$other: " . json_encode( $notes );
	}
}
expect( ! $refused, 'a name the list does not hold gets 404 and nothing of any file' . ( $refused ? ': ' . implode( '; ', $refused ) : '' ) );

// A stored file of another size than listed: refused, never sent wrong.
file_put_contents( "$work/delivery-files/0123456789abcdef0123456789abcdef.php", 'x', FILE_APPEND );
list( $body, $notes ) = send( $work, $name, array( 'HTTP_RANGE' => 'bytes=0-9' ) );
expect( '' === $body && array( array( 'die', 500 ) ) === $notes, 'a stored file that grew after the build gets 500 and none of its bytes: ' . json_encode( $notes ) );
unlink( "$work/delivery-files/0123456789abcdef0123456789abcdef.php" );
list( $body, $notes ) = send( $work, $name );
expect( '' === $body && array( array( 'private' ), array( 'die', 503 ) ) === $notes, 'a stored file not on the site (yet) gets 503, "being prepared", and nothing else: ' . json_encode( $notes ) );

exec( 'rm -rf ' . escapeshellarg( $work ) );
echo json_encode( $results );

<?php
// Fills the plugin template with sample values and checks what must hold for every build:
// each PHP file parses with short tags on and off, opens with the ABSPATH guard, names only
// functions carrying the identifier, defines no constants, meets the WordPress Coding Standards
// (phpcs with WPCS 2.3.0 from wpcs-2.3.0.tar.xz and the rules in phpcs.xml: not one error or
// warning), and the plugin name survives intact. Then the filled template's own functions run
// against stand-ins for WordPress (exercise_template.php): the funnel save, the post type's
// labels and the download key check; and its signatures, tokens and payment rules against
// known vectors (exercise_payments.php); the delivery streamer and its Range rules
// (exercise_delivery.php).
// Usage: php check_template.php TEMPLATE_DIR

require __DIR__ . '/fill_template.php';

$template = $argv[1] ?? '';
if ( ! is_dir( $template ) ) {
    fwrite( STDERR, "usage: php check_template.php TEMPLATE_DIR\n" );
    exit( 2 );
}

$passed = 0;
$failed = 0;
function check( $ok, $what ) {
    global $passed, $failed;
    echo ( $ok ? 'ok - ' : 'FAIL - ' ), $what, "\n";
    $ok ? $passed++ : $failed++;
}

$samples = array(
    array( 'p4217', 'Little Green Balcony' ),
    array( 'shop_b2', 'Tom\'s "Quick" $5 \\ Guide <&> ?> {$x} #prefix# \'\'\'' ),
    array( 'x12345678901234567_9', 'Café — 9,90 €' ),
    // A name that begins with the identifier's nowdoc end marker must not end the nowdoc.
    array( 'q7x', 'q7x_MENU_NAME_END; echo \'cut short\'; // MENU_NAME_END' ),
);
$work = sys_get_temp_dir() . '/vantor-template-check-' . getmypid();
mkdir( $work, 0777, true );

// The coding standard is unpacked for this run only: it is not the project's own code.
$phpcs = trim( (string) shell_exec( 'command -v phpcs' ) );
check( '' !== $phpcs, 'phpcs is installed (scripts/install-deps.sh installs php-codesniffer)' );
exec( sprintf( 'tar -xJf %s -C %s 2>&1', escapeshellarg( __DIR__ . '/wpcs-2.3.0.tar.xz' ), escapeshellarg( $work ) ), $out, $rc );
$wpcs = "$work/wpcs-2.3.0";
check( 0 === $rc && is_dir( "$wpcs/WordPress-Extra" ), 'WPCS 2.3.0 unpacks from wpcs-2.3.0.tar.xz' . ( $rc ? ': ' . implode( ' ', $out ) : '' ) );

// phpcs over the filled plugin with the project's rules, the identifier as the one prefix and
// text domain; the converted site pages are the site's own markup and are left out. Returns
// "file:line sniff message" for each error or warning, or null when phpcs gave no report of
// every file.
function coding_standard_problems( $phpcs, $wpcs, $dir, $id, $files ) {
    $ruleset = dirname( $dir ) . "/ruleset-$id.xml";
    file_put_contents(
        $ruleset,
        '<?xml version="1.0"?><ruleset name="' . $id . '">'
        . '<rule ref="' . htmlspecialchars( __DIR__ . '/phpcs.xml' ) . '"/>'
        . '<rule ref="WordPress.NamingConventions.PrefixAllGlobals"><properties><property name="prefixes" type="array"><element value="' . $id . '"/></property></properties></rule>'
        . '<rule ref="WordPress.WP.I18n"><properties><property name="text_domain" type="array"><element value="' . $id . '"/></property></properties></rule>'
        . '</ruleset>'
    );
    $cmd  = implode( ' ', array_map( 'escapeshellarg', array( $phpcs, '--runtime-set', 'installed_paths', $wpcs, "--standard=$ruleset", '--report=json', '--ignore=*/converted_*.php', $dir ) ) );
    $json = json_decode( (string) shell_exec( "$cmd 2>&1" ), true );
    $php  = array_filter( $files, function ( $rel ) { return '.php' === substr( $rel, -4 ); } );
    if ( ! is_array( $json ) || count( $json['files'] ?? array() ) !== count( $php ) ) {
        return null;
    }
    $problems = array();
    foreach ( $json['files'] as $file => $report ) {
        foreach ( $report['messages'] as $m ) {
            $problems[] = substr( $file, strlen( $dir ) + 1 ) . ":{$m['line']} {$m['source']} {$m['message']}";
        }
    }
    return $problems;
}

foreach ( $samples as $sample ) {
    list( $id, $name ) = $sample;
    $dir   = "$work/$id";
    $files = vantor_fill_template( $template, $dir, $id, $name );
    $required = array( 'plugin.php', 'index.php', 'modules/index.php', 'modules/cpt.php', 'modules/cpt_template_loader.php', 'modules/template/template.php', 'modules/template/thanks.php' );
    $absent   = array_diff( $required, $files );
    check( ! $absent, "$id: the template's required files are present" . ( $absent ? ': ' . implode( ', ', $absent ) . ' missing' : '' ) );
    $files = array_values( array_filter( $files, function ( $rel ) { return '.php' === substr( $rel, -4 ); } ) );

    $problems = array( 'parse' => array(), 'guard' => array(), 'names' => array(), 'placeholders' => array() );
    foreach ( $files as $rel ) {
        if ( preg_match( '/#(prefix|header|menuname)#/', str_replace( $name, '', file_get_contents( "$dir/$rel" ) ) ) ) {
            $problems['placeholders'][] = $rel;
        }
        foreach ( array( 'On', 'Off' ) as $short ) {
            $out = array();
            $cmd = sprintf( '%s -d short_open_tag=%s -l %s 2>&1', escapeshellarg( PHP_BINARY ), $short, escapeshellarg( "$dir/$rel" ) );
            exec( $cmd, $out, $rc );
            if ( 0 !== $rc ) {
                $problems['parse'][] = "$rel (short_open_tag=$short): " . implode( ' ', $out );
            }
        }

        // The code tokens, and whatever the file would print before its first statement.
        $code    = array();
        $printed = '';
        foreach ( token_get_all( file_get_contents( "$dir/$rel" ) ) as $t ) {
            $t = is_array( $t ) ? $t : array( null, $t );
            if ( in_array( $t[0], array( T_WHITESPACE, T_COMMENT, T_DOC_COMMENT, T_OPEN_TAG ), true ) ) {
                continue;
            }
            if ( ! $code && T_CLOSE_TAG === $t[0] ) {
                continue;
            }
            if ( ! $code && T_INLINE_HTML === $t[0] ) {
                $printed .= $t[1];
                continue;
            }
            $code[] = $t;
        }
        $head = implode( '', array_column( array_slice( $code, 0, 11 ), 1 ) );
        if ( '' !== $printed || "if(!defined('ABSPATH')){exit;" !== $head ) {
            $problems['guard'][] = $rel;
        }

        foreach ( $code as $i => $t ) {
            if ( T_FUNCTION === $t[0] && isset( $code[ $i + 1 ] ) && T_STRING === $code[ $i + 1 ][0] && 0 !== strpos( $code[ $i + 1 ][1], $id . '_' ) ) {
                $problems['names'][] = "$rel: function " . $code[ $i + 1 ][1];
            }
            if ( T_CONST === $t[0] || T_GLOBAL === $t[0] || ( T_STRING === $t[0] && 'define' === strtolower( $t[1] ) ) ) {
                $problems['names'][] = "$rel: " . $t[1];
            }
        }
    }
    check( ! $problems['parse'], "$id: every file parses with short_open_tag on and off" . ( $problems['parse'] ? ': ' . implode( '; ', $problems['parse'] ) : '' ) );
    check( ! $problems['guard'], "$id: every file prints nothing and opens with the ABSPATH guard" . ( $problems['guard'] ? ': ' . implode( ', ', $problems['guard'] ) : '' ) );
    check( ! $problems['placeholders'], "$id: no placeholder is left in any file" . ( $problems['placeholders'] ? ': ' . implode( ', ', $problems['placeholders'] ) : '' ) );
    check( ! $problems['names'], "$id: only functions named with the identifier, no constants, no globals" . ( $problems['names'] ? ': ' . implode( ', ', $problems['names'] ) : '' ) );

    $problems = coding_standard_problems( $phpcs, $wpcs, $dir, $id, $files );
    check( array() === $problems, "$id: phpcs finds no error and no warning under WordPress-Extra and WordPress-Docs" . ( null === $problems ? ': phpcs did not report on every file' : ( $problems ? ":\n    " . implode( "\n    ", $problems ) : '' ) ) );
    // The rules let line ends through in plugin.php for the header's CR LF; nothing else there may use that.
    $rest = str_replace( vantor_sample_header( $name ), '', file_get_contents( "$dir/plugin.php" ) );
    preg_match_all( '/^.*[ \t\r]$/m', $rest, $trailing );
    check( ! $trailing[0], "$id: in plugin.php only the header's lines end in CR or white space" . ( $trailing[0] ? ': ' . json_encode( $trailing[0] ) : '' ) );

    // plugin.php pulls in the modules, which only hook into WordPress at load time.
    $probe = '<?php define( "ABSPATH", "/" );'
        . 'function add_action() {} function add_filter() {} function register_activation_hook() {} function register_deactivation_hook() {}'
        . 'ob_start(); require $argv[1]; $printed = ob_get_clean();'
        . 'echo json_encode( array( "printed" => $printed, "name" => ' . $id . '_menu_name(), "type" => ' . $id . '_post_type() ) );';
    file_put_contents( "$work/probe-$id.php", $probe );
    $json = shell_exec( escapeshellarg( PHP_BINARY ) . ' ' . escapeshellarg( "$work/probe-$id.php" ) . ' ' . escapeshellarg( "$dir/plugin.php" ) . ' 2>&1' );
    $got  = json_decode( (string) $json, true );
    check( is_array( $got ) && '' === $got['printed'], "$id: loading plugin.php prints nothing" . ( is_array( $got ) ? '' : ': ' . $json ) );
    check( is_array( $got ) && $name === $got['name'], "$id: the menu name reads back exactly as typed" );
    check( is_array( $got ) && strtolower( $id ) === $got['type'], "$id: the post type key is the identifier in lower case" );

    $cmd  = implode( ' ', array_map( 'escapeshellarg', array( PHP_BINARY, __DIR__ . '/exercise_template.php', "$dir/plugin.php", $id, $name ) ) );
    $json = shell_exec( "$cmd 2>&1" );
    $got  = json_decode( (string) $json, true );
    check( is_array( $got ) && $got, "$id: the template's functions ran to the end" . ( is_array( $got ) ? '' : ': ' . $json ) );
    foreach ( is_array( $got ) ? $got : array() as $result ) {
        check( $result[0], "$id: " . $result[1] );
    }

    $cmd  = implode( ' ', array_map( 'escapeshellarg', array( PHP_BINARY, __DIR__ . '/exercise_payments.php', $dir, $id ) ) );
    $json = shell_exec( "$cmd 2>&1" );
    $got  = json_decode( (string) $json, true );
    check( is_array( $got ) && $got, "$id: the payment functions ran to the end" . ( is_array( $got ) ? '' : ': ' . $json ) );
    foreach ( is_array( $got ) ? $got : array() as $result ) {
        check( $result[0], "$id: " . $result[1] );
    }

    $cmd  = implode( ' ', array_map( 'escapeshellarg', array( PHP_BINARY, __DIR__ . '/exercise_delivery.php', $dir, $id ) ) );
    $json = shell_exec( "$cmd 2>&1" );
    $got  = json_decode( (string) $json, true );
    check( is_array( $got ) && $got, "$id: the delivery functions ran to the end" . ( is_array( $got ) ? '' : ': ' . $json ) );
    foreach ( is_array( $got ) ? $got : array() as $result ) {
        check( $result[0], "$id: " . $result[1] );
    }
}

exec( 'rm -rf ' . escapeshellarg( $work ) );
echo "$passed passed, $failed failed\n";
exit( $failed ? 1 : 0 );
